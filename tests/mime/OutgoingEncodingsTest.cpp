// The encodings of outgoing texts, byte for byte as RFC 2045 (quoted-
// printable), RFC 2047 (encoded words) and RFC 2231 (extended parameters)
// describe them, and the domain of the Message-ID.
#include <gtest/gtest.h>

#include "message/EncodedHeaders.h"
#include "message/MessageId.h"
#include "message/TransferEncoding.h"

namespace quorvel {
namespace {

std::string Times(int count, const std::string& text) {
  std::string out;
  for (int i = 0; i < count; ++i) out += text;
  return out;
}

TEST(EncodedWords, CutOnWholeCharactersSoThatNoLinePasses78) {
  struct Case {
    std::string text, charset;
    size_t used, reserved;
    std::string expected;
  };
  const Case cases[] = {
      {"Übung für Schüler", "utf-8", 9, 0, "=?utf-8?B?w5xidW5nIGbDvHIgU2Now7xsZXI=?="},
      // 69 columns left: 57 base64 characters hold 42 bytes, 21 two-byte letters.
      {Times(30, "é"), "utf-8", 9, 0,
       "=?utf-8?B?w6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOp?=\r\n"
       " =?utf-8?B?w6nDqcOpw6nDqcOpw6nDqcOp?="},
      // A whole line free: a word of at most 75 characters, 22 letters.
      {Times(30, "é"), "utf-8", 0, 0,
       "=?utf-8?B?" + Times(7, "w6nDqcOp") + "w6k=?=\r\n =?utf-8?B?w6nDqcOpw6nDqcOpw6nDqQ==?="},
      {std::string(50, '\xE9'), "iso-8859-1", 9, 0,
       "=?iso-8859-1?B?6enp6enp6enp6enp6enp6enp6enp6enp6enp6enp6enp6enp6enp?=\r\n"
       " =?iso-8859-1?B?6enp6enp6enp6ek=?="},
      // 45 bytes would fit; 44 end on a whole double-byte character.
      {Times(30, "\xD6\xD0"), "GB2312", 0, 0,
       "=?GB2312?B?1tDW0NbQ1tDW0NbQ1tDW0NbQ1tDW0NbQ1tDW0NbQ1tDW0NbQ1tDW0NbQ1tA=?=\r\n"
       " =?GB2312?B?1tDW0NbQ1tDW0NbQ1tDW0A==?="},
      // 39 bytes would fit; 37 end on a whole character. Each word must
      // decode on its own, so no character is split between two words.
      {"a" + Times(20, "日"), "utf-8", 14, 0,
       "=?utf-8?B?YeaXpeaXpeaXpeaXpeaXpeaXpeaXpeaXpeaXpeaXpeaXpeaXpQ==?=\r\n"
       " =?utf-8?B?" + Times(8, "5pel") + "?="},
      // 0x80 is a character of its own in the double-byte charsets.
      {"\x80" + Times(30, "\xD6\xD0"), "GB2312", 0, 0,
       "=?GB2312?B?gNbQ1tDW0NbQ1tDW0NbQ1tDW0NbQ1tDW0NbQ1tDW0NbQ1tDW0NbQ1tDW0NbQ?=\r\n"
       " =?GB2312?B?1tDW0NbQ1tDW0NbQ1tDW0A==?="},
      // No room left on the first line: still one character per word.
      {"éé", "utf-8", 70, 0, "=?utf-8?B?w6k=?=\r\n =?utf-8?B?w6k=?="},
      {"éé", "utf-8", 60, 1, "=?utf-8?B?w6k=?=\r\n =?utf-8?B?w6k=?="},
      {"éé", "utf-8", 58, 0, "=?utf-8?B?w6nDqQ==?="},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodedWords(c.text, c.charset, c.used, c.reserved), c.expected) << c.text;
  }
  EXPECT_FALSE(HasEightBitBytes("plain ASCII\x7F"));
  EXPECT_TRUE(HasEightBitBytes("x\x80"));
}

TEST(ExtendedParameter, PercentEncodedAndContinuedWhenLong) {
  EXPECT_EQ(ExtendedParameter("filename", "Übung 1.pdf", "utf-8"),
            "\tfilename*=utf-8''%C3%9Cbung%201.pdf");
  EXPECT_EQ(ExtendedParameter("filename", "a b(c)'*%\"~!.txt", "utf-8"),
            "\tfilename*=utf-8''a%20b%28c%29%27%2A%25%22~!.txt");
  // 78 columns stay on one line, 79 are cut into sections.
  EXPECT_EQ(ExtendedParameter("filename", std::string(60, 'a'), "utf-8"),
            "\tfilename*=utf-8''" + std::string(60, 'a'));
  EXPECT_TRUE(ExtendedParameter("filename", std::string(61, 'a'), "utf-8").starts_with("\tfilename*0*="));
  // Each section line stays within 78 characters, its ";" included.
  EXPECT_EQ(ExtendedParameter("filename", Times(20, "é"), "utf-8"),
            "\tfilename*0*=utf-8''" + Times(9, "%C3%A9") + ";\r\n"
            "\tfilename*1*=" + Times(10, "%C3%A9") + ";\r\n"
            "\tfilename*2*=%C3%A9");
}

// The texts put each special byte at several places of an eight-byte word
// and lines across word boundaries, for the scan that passes words over.
TEST(QuotedPrintable, ChosenForLongLinesNulAndBareCr) {
  struct Case {
    std::string text;
    bool needed;
    bool eightBit;
  };
  const Case cases[] = {
      {"", false, false},
      {std::string(998, 'a'), false, false},
      {std::string(998, 'a') + "\r\n" + std::string(998, 'a') + "\n", false, false},
      {std::string(999, 'a'), true, false},
      {"short\r\n" + std::string(999, 'a') + "\r\n", true, false},
      {std::string(997, 'a') + "\r\n" + std::string(999, 'a'), true, false},
      {std::string("a\0b", 3), true, false},
      {std::string("1234\0" "678abc", 11), true, false},
      {"a\rb", true, false},
      {"123456789abc\rdefghijk", true, false},
      {"end\r", true, false},
      {"1234567\r", true, false},
      {"a\r\nb\n", false, false},
      {"1234567\r\n12345678\r\n", false, false},
      {"12345678\xC3\xA9t\xC3\xA9 and more", false, true},
      {"\x7F\r\n", false, false},
      {std::string(1000, '\xE9'), true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    const TextScan scan = ScanText(c.text);
    EXPECT_EQ(scan.needsQuotedPrintable, c.needed);
    EXPECT_EQ(NeedsQuotedPrintable(c.text), c.needed);
    EXPECT_EQ(scan.eightBit, c.eightBit);
    EXPECT_STREQ(TransferEncodingOf(scan), c.needed ? "quoted-printable" : "8bit");
  }
}

TEST(QuotedPrintable, EncodesAsRfc2045Says) {
  const std::pair<std::string, std::string> texts[] = {
      {std::string("a=b\tc \r\nx\ry\0z~", 14), "a=3Db\tc=20\r\nx=0Dy=00z~"},
      {"tail \n", "tail=20\r\n"},
      {"end\t", "end=09"},
      {"\xC3\xA9t\xC3\xA9", "=C3=A9t=C3=A9"},
      {"a\r\r\nb", "a=0D\r\nb"},
      {std::string(76, 'a'), std::string(76, 'a')},
      {std::string(80, 'a'), std::string(75, 'a') + "=\r\n" + std::string(5, 'a')},
      {std::string(74, 'a') + "\xC3\xA9", std::string(74, 'a') + "=\r\n=C3=A9"},
      {std::string(73, 'a') + "\xC3", std::string(73, 'a') + "=C3"},
  };
  for (const auto& [text, encoded] : texts) {
    EXPECT_EQ(EncodeQuotedPrintable(text), encoded) << text;
  }
}

TEST(MessageId, TakesTheSendersDomainWhenItIsADotAtom) {
  const std::string fallback = NewMessageId("");
  const std::string fallbackDomain = fallback.substr(fallback.find('@'));
  EXPECT_GT(fallbackDomain.size(), 2u);
  EXPECT_TRUE(NewMessageId("pupil@school-1.example.test").ends_with("@school-1.example.test>"));
  EXPECT_TRUE(NewMessageId("odd@name@Example.TEST").ends_with("@Example.TEST>"));
  for (const char* address : {"no-domain", "x@[192.0.2.1]", "x@a..b", "x@.a", "x@a.", "x@",
                              "x@a b", "x@a_b"}) {
    const std::string id = NewMessageId(address);
    EXPECT_EQ(id.substr(id.find('@')), fallbackDomain) << address;
  }
  EXPECT_NE(NewMessageId("a@b.test"), NewMessageId("a@b.test"));
}

}  // namespace
}  // namespace quorvel
