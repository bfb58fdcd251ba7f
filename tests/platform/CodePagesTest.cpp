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

TEST(Windows1252, EveryByteMapsAndComesBack) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::u16string wide = Wide(1252, all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(wide[0x41], u'A');
  EXPECT_EQ(wide[0x80], u'\u20AC');  // euro sign
  EXPECT_EQ(wide[0x81], u'\u0081');  // undefined in the standard, passed through by Windows
  EXPECT_EQ(wide[0x8D], u'\u008D');
  EXPECT_EQ(wide[0x92], u'\u2019');
  EXPECT_EQ(wide[0x9F], u'\u0178');
  EXPECT_EQ(wide[0xE9], u'\u00E9');
  EXPECT_EQ(Bytes(1252, wide), all);
}

// Each way unless `way` says "<" (bytes to text only) or ">" (text to bytes
// only); ill-formed UTF-8 becomes U+FFFD, a character outside a page "?".
struct Conversion {
  uint32_t page;
  std::string bytes;
  std::u16string text;
  char way = '=';
};

void ExpectConversions(std::initializer_list<Conversion> cases) {
  for (const auto& c : cases) {
    if (c.way != '>') {
      EXPECT_EQ(Wide(c.page, c.bytes), c.text) << c.page << " " << c.bytes;
    }
    if (c.way != '<') {
      EXPECT_EQ(Bytes(c.page, c.text), c.bytes) << c.page << " " << c.bytes;
    }
  }
}

TEST(CodePages, ConvertEachWayAsWindowsDoes) {
  ExpectConversions({
      {1252, "a?b\x80" "c", u"a\u0416b\u20ACc", '>'},
      {65001, "a\x80z", u"a\uFFFDz", '<'},
      {65001, "\xE2\x82", u"\uFFFD", '<'},  // a truncated sequence is one error
      {65001, "\xC0\xAF", u"\uFFFD\uFFFD", '<'},  // overlong
      {65001, "\xF0\x9F\x98\x80", u"\U0001F600"},
      {65001, "\xEF\xBF\xBD", std::u16string(1, char16_t(0xD800)), '>'},
      {1251, "\xCF\xF0\xE8", u"\u041F\u0440\u0438"},
      {1251, "a?b", u"a\u00E9b", '>'},
      {932, "\x93\xFA\x96\x7B", u"\u65E5\u672C"},  // "Japan" in Shift-JIS
      {932, "", u""},
      {28591, "\xE9", u"\u00E9"},
  });
  EXPECT_FALSE(MultiByteToWide(12345, "x")) << "an unknown page";
  EXPECT_FALSE(WideToMultiByte(12345, u"x"));
}

TEST(CodePages, AnEncodedSurrogateAndALoneLeadByteAreErrors) {
  ExpectConversions({{65001, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", '<'},
                     {932, "\x93", u"\uFFFD", '<'}});
}

TEST(Utf8, IsTheAnsiPageOfThisSystem) {
  EXPECT_EQ(AnsiCodePage(), kCodePageUtf8);
  ExpectConversions({{kCodePageAnsi, "\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"}});
}

}  // namespace
}  // namespace quorvel::platform
