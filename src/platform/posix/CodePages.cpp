// Code-page conversion on POSIX. UTF-8 (the ANSI page here) and Windows-1252
// are converted by hand, exactly as Windows does (1252 maps all 256 bytes,
// including the five it leaves undefined, which iconv refuses); every other
// page goes through iconv under its usual name.
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/CodePages.h"
#include "platform/posix/Utf8.h"

namespace quorvel::platform {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Bytes 0x80..0x9F of Windows-1252; every other byte is its own code point.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::u16string Windows1252ToWide(std::string_view bytes) {
  std::u16string wide;
  wide.reserve(bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    wide.push_back(b >= 0x80 && b <= 0x9F ? kWindows1252High[b - 0x80] : char16_t(b));
  }
  return wide;
}

char WideToWindows1252(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
  for (int i = 0; i < 32; ++i) {
    if (kWindows1252High[i] == unit) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// The iconv name of a Windows code page; empty when there is none.
std::string IconvName(uint32_t codePage) {
  if (codePage >= 28591 && codePage <= 28606 && codePage != 28600 && codePage != 28601 &&
      codePage != 28602) {
    return "ISO-8859-" + std::to_string(codePage - 28590);
  }
  switch (codePage) {
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    case 10000: return "MACINTOSH";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 50220:
    case 50221:
    case 50222: return "ISO-2022-JP";
    case 50225: return "ISO-2022-KR";
    case 51932:
    case 20932: return "EUC-JP";
    case 51936: return "GB2312";
    case 51949: return "EUC-KR";
    case 52936: return "HZ";
    case 54936: return "GB18030";
    case 65000: return "UTF-7";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    default: break;
  }
  if ((codePage >= 1250 && codePage <= 1258) || (codePage >= 437 && codePage <= 874)) {
    return "CP" + std::to_string(codePage);
  }
  return {};
}

class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : handle_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `input`; on bytes it cannot take, `onInvalid` appends a
  // substitute to `output` and answers how many input bytes to skip.
  template <typename OnInvalid>
  void Run(std::string_view input, std::string& output, OnInvalid onInvalid) {
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    std::vector<char> chunk(4096);
    while (inLeft > 0) {
      char* out = chunk.data();
      size_t outLeft = chunk.size();
      const size_t result = iconv(handle_, &in, &inLeft, &out, &outLeft);
      output.append(chunk.data(), chunk.size() - outLeft);
      if (result != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      const size_t skip = std::min(inLeft, onInvalid(output, errno == EINVAL));
      in += skip;
      inLeft -= skip;
      iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    }
    char* out = chunk.data();
    size_t outLeft = chunk.size();
    iconv(handle_, nullptr, nullptr, &out, &outLeft);  // the closing shift sequence, if any
    output.append(chunk.data(), chunk.size() - outLeft);
  }

 private:
  iconv_t handle_;
};

std::optional<std::u16string> ViaIconvToWide(const std::string& page, std::string_view bytes) {
  Converter converter("UTF-16LE", page);
  if (!converter.ok()) return std::nullopt;
  std::string units;
  converter.Run(bytes, units, [](std::string& out, bool truncated) -> size_t {
    out.push_back(static_cast<char>(kReplacement & 0xFF));
    out.push_back(static_cast<char>(kReplacement >> 8));
    return truncated ? static_cast<size_t>(-1) : 1;
  });
  std::u16string wide(units.size() / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(static_cast<unsigned char>(units[2 * i]) |
                                    (static_cast<unsigned char>(units[2 * i + 1]) << 8));
  }
  return wide;
}

std::optional<std::string> ViaIconvFromWide(const std::string& page, std::u16string_view text) {
  Converter converter(page, "UTF-16LE");
  if (!converter.ok()) return std::nullopt;
  std::string units;
  units.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    units.push_back(static_cast<char>(unit & 0xFF));
    units.push_back(static_cast<char>(unit >> 8));
  }
  std::string bytes;
  converter.Run(units, bytes, [&](std::string& out, bool truncated) -> size_t {
    out.push_back('?');
    if (truncated) return static_cast<size_t>(-1);
    return 2;  // one code unit; the low half of a broken pair becomes its own '?'
  });
  return bytes;
}

uint32_t Resolve(uint32_t codePage) { return codePage == kCodePageAnsi ? AnsiCodePage() : codePage; }

}  // namespace

uint32_t AnsiCodePage() { return kCodePageUtf8; }

std::optional<std::u16string> MultiByteToWide(uint32_t codePage, std::string_view bytes) {
  switch (Resolve(codePage)) {
    case kCodePageUtf8: return Utf8ToUtf16(bytes);
    case kCodePageWestern: return Windows1252ToWide(bytes);
    default: break;
  }
  const std::string name = IconvName(Resolve(codePage));
  if (name.empty()) return std::nullopt;
  return ViaIconvToWide(name, bytes);
}

std::optional<std::u16string> NamedCharsetToWide(std::string_view name, std::string_view bytes) {
  // Only plain names: iconv reads "//" suffixes as options.
  if (name.empty() || name.size() > 40) return std::nullopt;
  for (const char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == ':' || c == '_' || c == '+';
    if (!plain) return std::nullopt;
  }
  return ViaIconvToWide(std::string(name), bytes);
}

std::optional<std::string> WideToMultiByte(uint32_t codePage, std::u16string_view text) {
  switch (Resolve(codePage)) {
    case kCodePageUtf8: return Utf16ToUtf8(text);
    case kCodePageWestern: {
      std::string bytes;
      bytes.reserve(text.size());
      for (const char16_t unit : text) bytes.push_back(WideToWindows1252(unit));
      return bytes;
    }
    default: break;
  }
  const std::string name = IconvName(Resolve(codePage));
  if (name.empty()) return std::nullopt;
  return ViaIconvFromWide(name, text);
}

}  // namespace quorvel::platform
