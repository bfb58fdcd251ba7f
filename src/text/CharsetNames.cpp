// The aliases are those of the IANA registry and of the mail programs that
// write other names ("ks_c_5601-1987" for code page 949). A label reads as
// the widest charset that real mail under it holds: EUC-KR and
// ks_c_5601-1987 as code page 949, GB2312 as 936 (GBK), TIS-620 as 874,
// Shift_JIS as 932.
#include "text/CharsetNames.h"

#include <cctype>

namespace quorvel {

namespace {

struct Entry {
  std::string_view aliases;  // separated by blanks, normalised
  CharsetKind kind;
  std::array<uint32_t, 3> codePages;
  std::string_view name;
  bool viaShiftJis;
};

constexpr Entry kTable[] = {
    {"utf-8 utf8 unicode-1-1-utf-8 cp65001", CharsetKind::kUtf8, {65001}, "UTF-8", false},
    {"us-ascii ascii ansi-x3.4-1968 iso646-us us cp367 ibm367 iso-ir-6 csascii cp20127 "
     "unknown-8bit",
     CharsetKind::kUndeclared, {}, "", false},
    {"latin1 l1 iso-ir-100 cp819 ibm819 csisolatin1 iso-latin-1", CharsetKind::kListed, {28591},
     "ISO-8859-1", false},
    {"latin2 l2 iso-ir-101 csisolatin2", CharsetKind::kListed, {28592}, "ISO-8859-2", false},
    {"latin3 l3 iso-ir-109", CharsetKind::kListed, {28593}, "ISO-8859-3", false},
    {"latin4 l4 iso-ir-110", CharsetKind::kListed, {28594}, "ISO-8859-4", false},
    {"cyrillic iso-ir-144", CharsetKind::kListed, {28595}, "ISO-8859-5", false},
    {"arabic ecma-114 asmo-708 iso-ir-127", CharsetKind::kListed, {28596}, "ISO-8859-6", false},
    {"greek greek8 ecma-118 elot-928 iso-ir-126", CharsetKind::kListed, {28597}, "ISO-8859-7",
     false},
    {"hebrew iso-ir-138 visual", CharsetKind::kListed, {28598}, "ISO-8859-8", false},
    {"latin5 l5 iso-ir-148", CharsetKind::kListed, {28599}, "ISO-8859-9", false},
    {"latin7 l7", CharsetKind::kListed, {28603}, "ISO-8859-13", false},
    {"latin9 l9", CharsetKind::kListed, {28605}, "ISO-8859-15", false},
    {"koi8-r koi8r koi8 cskoi8r cp878", CharsetKind::kListed, {20866}, "KOI8-R", false},
    {"koi8-u koi8u koi8-ru", CharsetKind::kListed, {21866}, "KOI8-U", false},
    {"gb2312 gbk ms936 euc-cn euccn csgb2312 gb-2312 gb2312-80 chinese iso-ir-58",
     CharsetKind::kListed, {936}, "GBK", false},
    {"gb18030 gb-18030", CharsetKind::kListed, {54936, 936}, "GB18030", false},
    {"big5 big-5 cn-big5 csbig5 big5-hkscs", CharsetKind::kListed, {950}, "CP950", false},
    {"shift-jis sjis shiftjis ms-kanji mskanji csshiftjis windows-31j ms932",
     CharsetKind::kListed, {932}, "CP932", false},
    {"euc-jp eucjp ujis cseucpkdfmtjapanese", CharsetKind::kListed, {51932, 20932}, "EUC-JP",
     false},
    {"iso-2022-jp csiso2022jp iso2022jp jis", CharsetKind::kListed, {50220, 50221, 50222},
     "ISO-2022-JP", true},
    {"euc-kr euckr cseuckr ks-c-5601-1987 ks-c-5601-1989 ks-c-5601 ksc5601 ksc-5601 korean "
     "iso-ir-149 uhc ms949 unified-hangul",
     CharsetKind::kListed, {949}, "CP949", false},
    {"tis-620 tis620 thai dos-874", CharsetKind::kListed, {874}, "CP874", false},
};

// ISO-8859-10 (Nordic).
constexpr char16_t kIso8859_10High[96] = {
    0x00A0, 0x0104, 0x0112, 0x0122, 0x012A, 0x0128, 0x0136, 0x00A7,
    0x013B, 0x0110, 0x0160, 0x0166, 0x017D, 0x00AD, 0x016A, 0x014A,
    0x00B0, 0x0105, 0x0113, 0x0123, 0x012B, 0x0129, 0x0137, 0x00B7,
    0x013C, 0x0111, 0x0161, 0x0167, 0x017E, 0x2015, 0x016B, 0x014B,
    0x0100, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x012E,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x0116, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x0145, 0x014C, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x0168,
    0x00D8, 0x0172, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x0101, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x012F,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x0117, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x0146, 0x014D, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x0169,
    0x00F8, 0x0173, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x0138,
};

// ISO-8859-14 (Celtic).
constexpr char16_t kIso8859_14High[96] = {
    0x00A0, 0x1E02, 0x1E03, 0x00A3, 0x010A, 0x010B, 0x1E0A, 0x00A7,
    0x1E80, 0x00A9, 0x1E82, 0x1E0B, 0x1EF2, 0x00AD, 0x00AE, 0x0178,
    0x1E1E, 0x1E1F, 0x0120, 0x0121, 0x1E40, 0x1E41, 0x00B6, 0x1E56,
    0x1E81, 0x1E57, 0x1E83, 0x1E60, 0x1EF3, 0x1E84, 0x1E85, 0x1E61,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x0174, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x1E6A,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x0176, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x0175, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x1E6B,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x0177, 0x00FF,
};

// ISO-8859-16 (South-Eastern European).
constexpr char16_t kIso8859_16High[96] = {
    0x00A0, 0x0104, 0x0105, 0x0141, 0x20AC, 0x201E, 0x0160, 0x00A7,
    0x0161, 0x00A9, 0x0218, 0x00AB, 0x0179, 0x00AD, 0x017A, 0x017B,
    0x00B0, 0x00B1, 0x010C, 0x0142, 0x017D, 0x201D, 0x00B6, 0x00B7,
    0x017E, 0x010D, 0x0219, 0x00BB, 0x0152, 0x0153, 0x0178, 0x017C,
    0x00C0, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0106, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x0110, 0x0143, 0x00D2, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x015A,
    0x0170, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x0118, 0x021A, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x0107, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x0111, 0x0144, 0x00F2, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x015B,
    0x0171, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x0119, 0x021B, 0x00FF,
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number that `text` is made of, or -1.
int Number(std::string_view text) {
  if (text.empty() || text.size() > 5) return -1;
  int number = 0;
  for (const char c : text) {
    if (!IsDigit(c)) return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

bool HasAlias(std::string_view aliases, std::string_view label) {
  while (!aliases.empty()) {
    const size_t blank = aliases.find(' ');
    if (aliases.substr(0, blank) == label) return true;
    if (blank == std::string_view::npos) break;
    aliases.remove_prefix(blank + 1);
  }
  return false;
}

CharsetInfo FromEntry(const Entry& entry) {
  return {entry.kind, entry.codePages, std::string(entry.name), entry.viaShiftJis, nullptr};
}

// "iso-8859-N", "iso8859-N", "iso_8859-N:1987", "iso-8859-8-i": N, else -1.
int IsoPart(std::string_view label) {
  for (const std::string_view prefix : {"iso-8859", "iso8859"}) {
    if (label.substr(0, prefix.size()) != prefix) continue;
    std::string_view rest = label.substr(prefix.size());
    if (rest.substr(0, 1) == "-") rest.remove_prefix(1);
    size_t digits = 0;
    while (digits < rest.size() && IsDigit(rest[digits])) ++digits;
    const std::string_view suffix = rest.substr(digits);
    if (!suffix.empty() && suffix[0] != ':' && suffix != "-i" && suffix != "-e") return -1;
    return Number(rest.substr(0, digits));
  }
  return -1;
}

// "windows-N", "cpN", "cp-N", "win-N", "ibmN", "msN": the code page N, else -1.
int NumberedPage(std::string_view label) {
  for (const std::string_view prefix : {"windows-", "windows", "cp-", "cp", "win-", "ibm", "ms"}) {
    if (label.substr(0, prefix.size()) == prefix) {
      const int page = Number(label.substr(prefix.size()));
      if (page > 0) return page;
    }
  }
  return -1;
}

CharsetInfo IsoCharset(int part) {
  const std::string name = "ISO-8859-" + std::to_string(part);
  switch (part) {
    case 10: return {CharsetKind::kListed, {}, name, false, kIso8859_10High};
    case 14: return {CharsetKind::kListed, {}, name, false, kIso8859_14High};
    case 16: return {CharsetKind::kListed, {}, name, false, kIso8859_16High};
    case 11: return {CharsetKind::kListed, {874}, "CP874", false};
    case 13: return {CharsetKind::kListed, {28603}, name, false};
    case 15: return {CharsetKind::kListed, {28605}, name, false};
    default: break;
  }
  if (part >= 1 && part <= 9) {
    return {CharsetKind::kListed, {static_cast<uint32_t>(28590 + part)}, name, false};
  }
  return {CharsetKind::kUnlisted, {}, name, false};
}

}  // namespace

std::string NormalisedCharsetLabel(std::string_view label) {
  const size_t first = label.find_first_not_of(" \t\r\n\"'");
  if (first == std::string_view::npos) return {};
  label = label.substr(first, label.find_last_not_of(" \t\r\n\"'") - first + 1);
  std::string normalised;
  normalised.reserve(label.size());
  for (const char c : label) {
    normalised += c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  while (normalised.rfind("x-", 0) == 0) normalised.erase(0, 2);
  return normalised;
}

CharsetInfo LookUpCharset(std::string_view label) {
  const std::string name = NormalisedCharsetLabel(label);
  if (name.empty()) return {CharsetKind::kUndeclared, {}, {}, false};
  if (name == "latin6" || name == "l6" || name == "iso-ir-157") return IsoCharset(10);
  if (name == "latin8" || name == "l8") return IsoCharset(14);
  if (name == "latin10" || name == "l10") return IsoCharset(16);
  for (const Entry& entry : kTable) {
    if (HasAlias(entry.aliases, name)) return FromEntry(entry);
  }
  if (const int part = IsoPart(name); part >= 0) return IsoCharset(part);
  if (const int page = NumberedPage(name); page > 0) {
    for (const Entry& entry : kTable) {
      if (entry.codePages[0] == static_cast<uint32_t>(page)) return FromEntry(entry);
    }
    return {CharsetKind::kListed, {static_cast<uint32_t>(page)}, "CP" + std::to_string(page),
            false};
  }
  return {CharsetKind::kUnlisted, {}, name, false};
}

}  // namespace quorvel
