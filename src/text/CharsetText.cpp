// A label is read through the code pages the table gives, best first (the
// first that the system has wins), then under its name where the system's
// converter goes by names (iconv). Windows has no code page for ISO-8859-10,
// -14 and -16, read by their tables where no converter knows them; Wine has
// none for ISO-2022-JP, which is therefore carried over to code page 932 by
// hand when no page reads it.
#include "text/CharsetText.h"

#include <cstring>
#include <optional>

#include "frame/LogEvents.h"
#include "text/CharsetNames.h"
#include "platform/CodePages.h"

namespace quorvel {

namespace {

std::u16string UndeclaredTextToWide(std::string_view bytes) {
  const uint32_t page = IsValidUtf8(bytes) ? platform::kCodePageUtf8 : platform::kCodePageWestern;
  return platform::MultiByteToWide(page, bytes).value_or(std::u16string());
}

std::optional<std::u16string> ListedTextToWide(const CharsetInfo& charset, std::string_view bytes) {
  for (const uint32_t page : charset.codePages) {
    if (page == 0) break;
    if (auto wide = platform::MultiByteToWide(page, bytes)) return wide;
  }
  if (charset.viaShiftJis) {
    if (auto wide = platform::MultiByteToWide(932, ShiftJisFromIso2022Jp(bytes))) return wide;
  }
  if (auto wide = platform::NamedCharsetToWide(charset.name, bytes)) return wide;
  if (charset.highHalf != nullptr) return HighHalfTextToWide(bytes, charset.highHalf);
  return std::nullopt;
}

bool IsPrintable(unsigned char c) { return c >= 0x21 && c <= 0x7E; }

}  // namespace

bool HasEightBitBytes(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) > 0x7F) return true;
  }
  return false;
}

std::u16string HighHalfTextToWide(std::string_view bytes, const char16_t* highHalf) {
  std::u16string wide;
  wide.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    wide += byte >= 0xA0 ? highHalf[byte - 0xA0] : char16_t(byte);
  }
  return wide;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    // Mail text is mostly ASCII: eight bytes at a time while none has its
    // high bit set.
    uint64_t eight = 0;
    if (bytes.size() - i >= sizeof eight) {
      std::memcpy(&eight, bytes.data() + i, sizeof eight);
      if ((eight & 0x8080808080808080u) == 0) {
        i += sizeof eight;
        continue;
      }
    }
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    unsigned char low = 0x80;  // the range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // no overlong forms
      if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
    }
    i += length;
  }
  return true;
}

std::u16string CharsetTextToWide(std::string_view bytes, std::string_view charset) {
  const CharsetInfo info = LookUpCharset(charset);
  if (info.kind != CharsetKind::kUndeclared) {
    if (auto wide = ListedTextToWide(info, bytes)) return *wide;
    SetLogValue(kKeyMessage, charset);
    WriteLogEvent(kEventUnknownCharset);
  }
  return UndeclaredTextToWide(bytes);
}

bool IsLibraryText(std::string_view bytes, std::string_view charset) {
  const CharsetInfo info = LookUpCharset(charset);
  const uint32_t ansi = platform::AnsiCodePage();
  switch (info.kind) {
    case CharsetKind::kUndeclared:
      return ansi == platform::kCodePageUtf8 ? IsValidUtf8(bytes) : !HasEightBitBytes(bytes);
    case CharsetKind::kUtf8: return ansi == platform::kCodePageUtf8 && IsValidUtf8(bytes);
    case CharsetKind::kListed: return info.codePages[0] == ansi && !info.viaShiftJis;
    case CharsetKind::kUnlisted: break;
  }
  return false;
}

std::string ToLibraryText(std::string_view bytes, std::string_view charset) {
  if (IsLibraryText(bytes, charset)) return std::string(bytes);
  const std::u16string wide = CharsetTextToWide(bytes, charset);
  return platform::WideToMultiByte(platform::kCodePageAnsi, wide).value_or(std::string(bytes));
}

std::string ShiftJisFromIso2022Jp(std::string_view bytes) {
  enum class Set { kAscii, kKanji, kKana } set = Set::kAscii;
  bool shiftedOut = false;  // SO ... SI: half-width katakana
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == 0x1B) {
      const std::string_view sequence = bytes.substr(i + 1, 2);
      if (sequence == "$@" || sequence == "$B") set = Set::kKanji;
      if (sequence == "(B" || sequence == "(J") set = Set::kAscii;
      if (sequence == "(I") set = Set::kKana;
      if (sequence == "$@" || sequence == "$B" || sequence == "(B" || sequence == "(J" ||
          sequence == "(I") {
        i += 2;
        continue;
      }
    }
    if (byte == 0x0E || byte == 0x0F) {
      shiftedOut = byte == 0x0E;
      continue;
    }
    const bool pair = i + 1 < bytes.size() && IsPrintable(static_cast<unsigned char>(bytes[i + 1]));
    if (set == Set::kKanji && IsPrintable(byte) && pair) {
      const auto trail = static_cast<unsigned char>(bytes[++i]);
      const int first = ((byte + 1) >> 1) + (byte < 0x5F ? 0x70 : 0xB0);
      int second = trail + 0x7E;
      if (byte & 1) second = trail + (trail >= 0x60 ? 0x20 : 0x1F);
      out += static_cast<char>(first);
      out += static_cast<char>(second);
    } else if ((set == Set::kKana || shiftedOut) && byte >= 0x21 && byte <= 0x5F) {
      out += static_cast<char>(byte + 0x80);
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace quorvel
