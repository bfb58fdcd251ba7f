// Conversions go through the platform's code pages. The original library
// bounded 8-bit output at two bytes per code unit, enough for the double-byte
// ANSI pages of Windows; with UTF-8 as the ANSI page that bound would cut
// texts, so the output here is as long as the conversion needs.
#include "text/WideText.h"

#include <cstdarg>
#include <cstdio>

#include "platform/CodePages.h"

namespace quorvel::exchange {

namespace {

char16_t FoldCase(char16_t unit) {
  if (unit >= u'A' && unit <= u'Z') return unit + (u'a' - u'A');
  if (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7) return unit + 0x20;  // Latin-1 capitals
  return unit;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

}  // namespace

WideString WideFromMultiByte(std::string_view text, uint32_t codePage) {
  if (text.empty()) return WideString();
  const std::optional<std::u16string> wide = platform::MultiByteToWide(codePage, text);
  return wide ? WideString(*wide) : WideString();
}

std::string MultiByteFromWide(std::u16string_view text, uint32_t codePage) {
  if (text.empty()) return std::string();
  return platform::WideToMultiByte(codePage, text).value_or(std::string());
}

CodedText CodedTextFromMultiByte(std::string_view text, uint16_t codePage) {
  return CodedText(codePage, WideFromMultiByte(text, codePage));
}

std::string MultiByteOf(const CodedText& coded) {
  return MultiByteFromWide(coded.text.View(), coded.codePage);
}

int32_t FindNoCase(const std::vector<WideString>& list, std::u16string_view text) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (EqualNoCase(list[i].View(), text)) return static_cast<int32_t>(i);
  }
  return -1;
}

WideString FormatWide(const char* format, ...) {
  // UTF-8 takes at most three bytes for a code unit it shares with UTF-16.
  char buffer[kMaxFormattedUnits * 3 + 1];
  va_list arguments;
  va_start(arguments, format);
  const int written = std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  if (written <= 0) return WideString();
  const size_t length = std::min(static_cast<size_t>(written), sizeof buffer - 1);
  std::u16string wide = platform::MultiByteToWide(platform::kCodePageUtf8,
                                                  std::string_view(buffer, length))
                            .value_or(std::u16string());
  if (wide.size() > kMaxFormattedUnits) wide.resize(kMaxFormattedUnits);
  return WideString(wide);
}

}  // namespace quorvel::exchange
