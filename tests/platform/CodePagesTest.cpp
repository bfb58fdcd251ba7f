// Conversions as Windows makes them: Windows-1252 byte for byte, UTF-8 with
// U+FFFD for ill-formed input, the other pages through their tables.
#include "platform/CodePages.h"

#include <gtest/gtest.h>

namespace quorvel::platform {
namespace {

std::u16string Wide(uint32_t page, std::string_view bytes) {
  auto converted = MultiByteToWide(page, bytes);
  EXPECT_TRUE(converted) << "page " << page;
  return converted.value_or(u"");
}

std::string Bytes(uint32_t page, std::u16string_view text) {
  auto converted = WideToMultiByte(page, text);
  EXPECT_TRUE(converted) << "page " << page;
  return converted.value_or("");
}

// 0x81 and 0x8D are undefined in the standard and passed through by Windows; characters
// outside the page become question marks.
TEST(Windows1252, EveryByteMapsAndComesBack) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::u16string wide = Wide(1252, all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(std::u16string({wide[0x41], wide[0x80], wide[0x81], wide[0x8D], wide[0x92],
                            wide[0x9F], wide[0xE9]}),
            u"A\u20AC\u0081\u008D\u2019\u0178\u00E9");
  EXPECT_EQ(Bytes(1252, wide), all);
  EXPECT_EQ(Bytes(1252, u"a\u0416b\u20ACc"), "a?b\x80" "c");
}

TEST(Utf8, IsTheAnsiPageOfThisSystem) {
  EXPECT_EQ(AnsiCodePage(), kCodePageUtf8);
  EXPECT_EQ(Wide(kCodePageAnsi, "\xC3\xA9t\xC3\xA9"), u"\u00E9t\u00E9");
}

TEST(Utf8, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Wide(65001, "a\x80z"), u"a\uFFFDz");
  EXPECT_EQ(Wide(65001, "\xE2\x82"), u"\uFFFD") << "a truncated sequence is one error";
  EXPECT_EQ(Wide(65001, "\xC0\xAF"), u"\uFFFD\uFFFD") << "overlong";
  EXPECT_EQ(Wide(65001, "\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD") << "an encoded surrogate";
  EXPECT_EQ(Wide(65001, "\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(Bytes(65001, u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Bytes(65001, std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(OtherPages, SingleAndMultiByteTables) {
  EXPECT_EQ(Wide(1251, "\xCF\xF0\xE8"), u"\u041F\u0440\u0438");
  EXPECT_EQ(Bytes(1251, u"\u041F\u0440\u0438"), "\xCF\xF0\xE8");
  EXPECT_EQ(Wide(932, "\x93\xFA\x96\x7B"), u"\u65E5\u672C");  // "Japan" in Shift-JIS
  EXPECT_EQ(Bytes(932, u"\u65E5\u672C"), "\x93\xFA\x96\x7B");
  EXPECT_EQ(Bytes(1251, u"a\u00E9b"), "a?b");
  EXPECT_EQ(Wide(28591, "\xE9"), u"\u00E9");
}

TEST(OtherPages, UnknownPagesAndEmptyInput) {
  EXPECT_FALSE(MultiByteToWide(12345, "x"));
  EXPECT_FALSE(WideToMultiByte(12345, u"x"));
  EXPECT_EQ(Wide(932, ""), u"");
  EXPECT_EQ(Wide(932, "\x93"), u"\uFFFD") << "a lead byte without its trail";
}

}  // namespace
}  // namespace quorvel::platform
