// The table is in code-page order, which is not the order of the ISO parts:
// 1254 (Turkish) is part 9 and 1255 (Hebrew) part 8.
#include "text/Charset.h"

namespace quorvel {

const char* CharsetNameForCodePage(int32_t codePage) {
  switch (codePage) {
    case 932: return "iso-2022-JP";
    case 936: return "GB2312";
    case 949: return "iso-2022-KR";
    case 950: return "BIG5";
    case 1250: return "iso-8859-2";
    case 1251: return "iso-8859-5";
    case 1252: return "iso-8859-1";
    case 1253: return "iso-8859-7";
    case 1254: return "iso-8859-9";
    case 1255: return "iso-8859-8";
    case 1256: return "iso-8859-6";
    case 1257: return "iso-8859-4";
    case 65001: return "utf-8";
    default: return kDefaultCharset;
  }
}

}  // namespace quorvel
