// The encodings of outgoing texts, byte for byte as RFC 2045 (quoted-
// printable), RFC 2047 (encoded words) and RFC 2231 (extended parameters)
// describe them, and the domain of the Message-ID.
#include <gtest/gtest.h>

#include <set>

#include "message/EncodedHeaders.h"
#include "message/MessageId.h"
#include "message/TransferEncoding.h"
#include "TextCases.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

TEST(EncodedWords, CutOnWholeCharactersSoThatNoLinePasses78) {
  for (const TextCase& c : TextCases("encodings/encoded-words")) {
    EXPECT_EQ(EncodedWords(c.inputs.at(0).at(0), c.Get("charset"), c.Number("used"),
                           c.Number("reserved")),
              c.text)
        << c.name;
  }
  EXPECT_FALSE(HasEightBitBytes("plain ASCII\x7F"));
  EXPECT_TRUE(HasEightBitBytes("x\x80"));
}

TEST(ExtendedParameter, PercentEncodedAndContinuedWhenLong) {
  for (const TextCase& c : TextCases("encodings/extended-parameters")) {
    EXPECT_EQ(ExtendedParameter("filename", c.inputs.at(0).at(0), "utf-8"), c.text) << c.name;
  }
  // 79 columns are cut into sections.
  const std::string cut = ExtendedParameter("filename", std::string(61, 'a'), "utf-8");
  EXPECT_TRUE(cut.starts_with("\tfilename*0*=")) << cut;
}

// The texts put each special byte at several places of an eight-byte word
// and lines across word boundaries, for the scan that passes words over.
TEST(QuotedPrintable, ChosenForLongLinesNulAndBareCr) {
  for (const TextCase& c : TextCases("encodings/transfer-choice")) {
    SCOPED_TRACE(c.name);
    const std::string& text = c.inputs.at(0).at(0);
    const bool needed = c.Get("needed") == "yes";
    const TextScan scan = ScanText(text);
    EXPECT_EQ(scan.needsQuotedPrintable, needed);
    EXPECT_EQ(NeedsQuotedPrintable(text), needed);
    EXPECT_EQ(scan.eightBit, c.Get("eightbit") == "yes");
    EXPECT_STREQ(TransferEncodingOf(scan), needed ? "quoted-printable" : "8bit");
  }
}

TEST(QuotedPrintable, EncodesAsRfc2045Says) {
  for (const TextCase& c : TextCases("encodings/quoted-printable")) {
    EXPECT_EQ(EncodeQuotedPrintable(c.inputs.at(0).at(0)), c.text) << c.name;
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
  std::set<std::string> ids;
  for (int i = 0; i < 2000; ++i) ids.insert(NewMessageId("a@b.test"));
  EXPECT_EQ(ids.size(), 2000u);
}

}  // namespace
}  // namespace quorvel
