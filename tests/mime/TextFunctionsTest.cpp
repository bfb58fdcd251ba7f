// Functions of texts against the cases of tests/data/<kind>.txt: the answer must be the case's
// text ("yes"/"no" for a truth, "(none)" for none, library texts in UTF-8), written from the
// formats' descriptions (RFC 2045, 2047, 2231, 3629) or by Python's codecs.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "KeyedCases.h"
#include "mail/ReceiveFunctions.h"
#include "mail/SmtpDiscovery.h"
#include "message/EncodedHeaders.h"
#include "message/MessageId.h"
#include "message/MimeLayout.h"
#include "message/MimeText.h"
#include "message/TransferEncoding.h"
#include "platform/CodePages.h"
#include "platform/Environment.h"
#include "platform/Paths.h"
#include "protocol/SmtpAuthentication.h"
#include "text/CharsetNames.h"
#include "text/CharsetText.h"
#include "text/DerivedName.h"
#include "text/LineEnds.h"
#include "text/QuotedText.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

std::string In(const KeyedCase& c, size_t i = 0) {
  for (const auto& [key, value] : c.lines) {
    if (key == "<" && i-- == 0) return value;
  }
  return "(no input)";
}
std::string YesNo(bool truth) { return truth ? "yes" : "no"; }
std::string Utf8(const std::string& libraryText) {
  const std::u16string wide =
      platform::MultiByteToWide(platform::kCodePageAnsi, libraryText).value();
  return platform::WideToMultiByte(platform::kCodePageUtf8, wide).value();
}

std::string ReceivedText(const KeyedCase& c) {
  if (c.Get("qp") == "yes") return DecodeQuotedPrintable(In(c));
  if (c.Get("words") == "yes") return Utf8(DecodeEncodedWords(In(c)));
  if (c.Get("extended") == "yes") return Utf8(DecodeExtendedValue(In(c)));
  if (!c.Get("charset").empty()) return Utf8(ToLibraryText(In(c), c.Get("charset")));
  MailMessage message(nullptr, nullptr, nullptr);
  message.body = In(c);
  const MailData record = RecordOfMessage(message);
  return record.bodyType == MailData::kBodyText ? record.message : "not a text body";
}

TEST(TextFunctions, TheCasesOfTheDataFiles) {
  const std::pair<const char*, std::function<std::string(const KeyedCase&)>> kinds[] = {
      {"encodings/quoted-printable", [](auto& c) { return EncodeQuotedPrintable(In(c)); }},
      {"encodings/encoded-words",
       [](auto& c) {
         return EncodedWords(In(c), c.Get("charset"), c.Number("used"), c.Number("reserved"));
       }},
      {"encodings/extended-parameters",
       [](auto& c) { return ExtendedParameter("filename", In(c), "utf-8"); }},
      {"charset-texts/iso-2022-jp", [](auto& c) { return ShiftJisFromIso2022Jp(In(c)); }},
      {"charset-texts/utf-8", [](auto& c) { return YesNo(IsValidUtf8(In(c))); }},
      {"text-functions/eight-bit", [](auto& c) { return YesNo(HasEightBitBytes(In(c))); }},
      {"text-functions/quoted-text", [](auto& c) { return QuotedText(In(c)); }},
      {"text-functions/derived-name", [](auto& c) { return DerivedName(In(c), In(c, 1)); }},
      {"text-functions/probe-order",
       [](auto& c) { return std::to_string(FirstProbeFor(In(c))); }},
      {"text-functions/ehlo-extension",
       [](auto& c) { return EhloExtension(In(c), In(c, 1)).value_or("(none)"); }},
      {"text-functions/has-word", [](auto& c) { return YesNo(HasWord(In(c), In(c, 1))); }},
      {"text-functions/oauth-mechanism",
       [](auto& c) { return std::string(OAuthMechanism(In(c), In(c, 1))); }},
      {"text-functions/oauth-bearer",
       [](auto& c) {
         return OAuthBearerResponse(In(c), In(c, 1), static_cast<uint16_t>(std::stoi(In(c, 2))),
                                    In(c, 3));
       }},
      {"text-functions/received-texts", ReceivedText},
      // 2026-01-01 00:00 UTC in a POSIX zone (no zone database needed): the offset to add to
      // local time for UTC.
      {"text-functions/date-line",
       [](auto& c) {
         const std::optional<std::string> savedZone = platform::EnvironmentValue("TZ");
         platform::SetEnvironmentValue("TZ", In(c));
         tzset();
         const std::string line = DateLine(platform::LocalTimeOf(1767225600));
         platform::SetEnvironmentValue("TZ", savedZone);
         tzset();
         return line;
       }},
      // Each special byte at several places of an eight-byte word, lines across word boundaries.
      {"encodings/transfer-choice",
       [](auto& c) {
         const TextScan scan = ScanText(In(c));
         const bool same = NeedsQuotedPrintable(In(c)) == scan.needsQuotedPrintable;
         return TransferEncodingOf(scan) + std::string(scan.eightBit ? " eight-bit" : "") +
                (same ? "" : " (NeedsQuotedPrintable differs)");
       }},
      {"text-functions/message-id-domain",
       [](auto& c) {
         const auto domain = [](const std::string& id) { return id.substr(id.rfind('@')); };
         const std::string own = domain(NewMessageId(In(c))), local = domain(NewMessageId(""));
         return local.size() > 2 && own == local ? "(fallback)" : own;
       }},
      // Labels as real mail spells them: the kind, the first code page that
      // reads them, the name a converter knows them by.
      {"charset-labels/labels",
       [](auto& c) {
         const CharsetInfo info = LookUpCharset(In(c));
         const char* kinds[] = {"undeclared", "utf8", "listed", "unlisted"};
         return kinds[static_cast<int>(info.kind)] + (" " + std::to_string(info.codePages[0])) +
                " " + info.name;
       }},
  };
  for (const auto& [kind, answer] : kinds) {
    // Windows takes the local zone from the system settings, not from TZ.
    const bool onWindows = platform::kPathSeparator == '\\';
    if (onWindows && std::string(kind) == "text-functions/date-line") continue;
    for (const KeyedCase& c : KeyedCases(kind)) EXPECT_EQ(answer(c), c.Get("=")) << c.name;
  }
  EXPECT_EQ(LookUpCharset("euc-jp").codePages[1], 20932u);
  EXPECT_EQ(LookUpCharset("gb18030").codePages[1], 936u);
  // A sequence cut short by the end of the text, whatever follows in memory.
  EXPECT_EQ(QuotedText(std::string_view("\xE2\x82\xAC", 2)), "\"\\xE2\\x82\"");
}

TEST(MessageId, EveryOneIsNew) {
  std::set<std::string> ids;
  for (int i = 0; i < 2000; ++i) ids.insert(NewMessageId("a@b.test"));
  EXPECT_EQ(ids.size(), 2000u);
}

// A lone LF is found and gets a CR wherever it lies (in and at the edges of the 64-byte blocks,
// the tail, the edge of two written pieces); a CR LF across blocks or pieces is a line end.
TEST(LineEnds, EveryLoneLineFeedIsFoundAndGetsACr) {
  const size_t edge = kCrLfPieceBytes;
  const std::string text(edge + 300, 'x');
  const auto written = [](const std::string& in) {
    std::string out;
    WriteWithCrLfLines(in, [&](std::string_view piece) { out.append(piece); });
    return out;
  };
  for (const std::string& same : {std::string(), std::string("a\rb\r"), text}) {
    EXPECT_TRUE(EndsEveryLineWithCrLf(same));
    EXPECT_EQ(written(same), same);
  }
  EXPECT_EQ(written("a\r\nb\n\n"), "a\r\nb\r\n\r\n");
  // A CR LF across the pieces, and a lone LF later in the second piece.
  const std::string across = std::string(edge - 1, 'x') + "\r\n";
  EXPECT_EQ(written(across + "x\n"), across + "x\r\n");
  for (const size_t at : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{63}, size_t{64},
                          size_t{65}, size_t{128}, size_t{191}, size_t{192}, size_t{193}, edge - 1,
                          edge, edge + 1, text.size() - 40, text.size() - 1}) {
    SCOPED_TRACE(at);
    std::string lone = text;
    lone[at] = '\n';
    EXPECT_FALSE(EndsEveryLineWithCrLf(lone));
    EXPECT_EQ(written(lone), text.substr(0, at) + "\r\n" + text.substr(at + 1));
    if (at == 0) continue;
    std::string paired = lone;
    paired[at - 1] = '\r';
    EXPECT_TRUE(EndsEveryLineWithCrLf(paired));
    EXPECT_EQ(written(paired), paired);
  }
}

}  // namespace
}  // namespace quorvel
