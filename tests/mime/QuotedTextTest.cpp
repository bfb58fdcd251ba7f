// The dumps' quoting: which bytes stay and which are escaped. Valid UTF-8 is
// as RFC 3629 defines it; U+0080 to U+009F are the C1 controls.
#include "text/QuotedText.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(QuotedText, KeepsPrintableTextAndEscapesEverythingElse) {
  const struct {
    const char* bytes;
    const char* shown;
  } cases[] = {
      {"", "\"\""},
      {"plain \"q\" \\", "\"plain \\\"q\\\" \\\\\""},
      {"\r\n\x1B\x7F", "\"\\x0D\\x0A\\x1B\\x7F\""},
      {"Ren\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\"Ren\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
      {"\xC2\x85\xC2\xA0", "\"\\xC2\\x85\xC2\xA0\""},       // C1 NEL escaped, NBSP kept
      {"P\xE9ter", "\"P\\xE9ter\""},                          // Latin-1, not UTF-8
      {"\xC0\xAF\xE0\x80\xAF", "\"\\xC0\\xAF\\xE0\\x80\\xAF\""},  // overlong forms
      {"\xED\xA0\x80", "\"\\xED\\xA0\\x80\""},                // a surrogate
      {"\xF4\x90\x80\x80", "\"\\xF4\\x90\\x80\\x80\""},       // above U+10FFFF
      {"\xE2\x82", "\"\\xE2\\x82\""},                          // cut short
  };
  for (const auto& c : cases) EXPECT_EQ(QuotedText(c.bytes), c.shown) << c.shown;
  // A sequence cut short by the end of the text, whatever follows in memory.
  EXPECT_EQ(QuotedText(std::string_view("\xE2\x82\xAC", 2)), "\"\\xE2\\x82\"");
}

}  // namespace
}  // namespace quorvel
