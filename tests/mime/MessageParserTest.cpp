// The reader of received messages on hand-written messages of the kinds
// ordinary mail programs send, and on hostile ones.
#include "mime/MessageParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <thread>

#include "RandomBytes.h"
#include "TempDirectory.h"
#include "mime/Base64.h"
#include "mime/MimeText.h"
#include "mime/ReceiveFunctions.h"
#include "platform/CodePages.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// The library's texts are in the system's ANSI code page.
std::string Ansi(std::u16string_view text) {
  return platform::WideToMultiByte(platform::kCodePageAnsi, text).value();
}

// The text fed to the streaming reader in pieces of `pieces()` bytes.
template <typename Pieces>
void ParseArriving(MailMessage& parsed, const std::string& text, const char* directory,
                   size_t, Pieces pieces) {
  StreamingParser parser(parsed, directory, true, SIZE_MAX);
  for (size_t at = 0; at < text.size();) {
    const size_t size = std::min(pieces(), text.size() - at);
    parser.Feed(std::string_view(text).substr(at, size));
    at += size;
  }
  parser.Finish();
}

class MessageParserTest : public ::testing::Test {
 protected:
  // ParseMessage, and the same text parsed while it arrives in pieces of
  // one byte (short texts), of random sizes and at once gives the same.
  MailMessage& Parse(const std::string& text, size_t batch = 1) {
    ParseMessage(message, text, directory.path().c_str(), true);
    std::mt19937 random(static_cast<uint32_t>(text.size()));
    std::uniform_int_distribution<size_t> size(1, std::max<size_t>(text.size() / 16, 64));
    const std::function<size_t()> pieces[] = {
        [] { return size_t{1}; }, [&] { return size(random); }, [&] { return text.size(); }};
    for (size_t i = text.size() > 4096 ? 1 : 0; i < std::size(pieces); ++i) {
      SCOPED_TRACE("pieces " + std::to_string(i));
      MailMessage arrived(nullptr, nullptr, nullptr);
      ParseArriving(arrived, text, directory.path().c_str(), batch, pieces[i]);
      ExpectSameParse(arrived);
      RemovePartFiles(arrived);
    }
    return message;
  }
  void ExpectSameParse(const MailMessage& arrived) const {
    EXPECT_EQ(arrived.recipient, message.recipient);
    EXPECT_EQ(arrived.notesSender, message.notesSender);
    EXPECT_EQ(arrived.cc, message.cc);
    EXPECT_EQ(arrived.subject, message.subject);
    EXPECT_EQ(arrived.body, message.body);
    EXPECT_EQ(arrived.htmlBodyIndex, message.htmlBodyIndex);
    ASSERT_EQ(arrived.attachmentSources.size(), message.attachmentSources.size());
    for (size_t i = 0; i < arrived.attachmentSources.size(); ++i) {
      // A part without a name is listed under its file's.
      const bool named = message.attachmentNames[i] != message.attachmentSources[i];
      EXPECT_EQ(arrived.attachmentNames[i],
                named ? message.attachmentNames[i] : arrived.attachmentSources[i]);
      EXPECT_EQ(ReadFile(arrived.attachmentSources[i]), Saved(i));
    }
  }
  std::string Saved(size_t index) const { return ReadFile(message.attachmentSources.at(index)); }

  TempDirectory directory;
  MailMessage message{nullptr, nullptr, nullptr};
};

TEST_F(MessageParserTest, HeadersAreUnfoldedMatchedInAnyCaseAndDecoded) {
  Parse("from: \"Doe, Jane\" <jane@example.test>\r\n"
        "TO: a@example.test, \"B b\" <b@example.test>,\r\n\tc@example.test (Cee)\r\n"
        "X-Not-To: wrong@example.test\r\n"
        "cc: <d@example.test>; e@example.test\r\n"
        "Subject: =?utf-8?B?w5xidW5n?= =?iso-8859-1?Q?_f=FCr?=\r\n  heute\r\n"
        "\r\n"
        "Hello\r\n");
  EXPECT_EQ(message.notesSender, "jane@example.test");
  EXPECT_EQ(message.recipient, "a@example.test;b@example.test;c@example.test");
  EXPECT_EQ(message.cc, "d@example.test;e@example.test");
  EXPECT_EQ(message.subject, Ansi(u"\u00DCbung f\u00FCr  heute"));
  EXPECT_EQ(message.body, "Hello");
  EXPECT_TRUE(message.attachmentNames.empty());
}

TEST_F(MessageParserTest, NestedMultipartsGiveTheTextTheHtmlAndEveryAttachmentDecoded) {
  Parse("From: a@example.test\n"
        "Content-Type: multipart/mixed; boundary=\"outer\"; foo=bar\n"
        "\n"
        "preamble\n"
        "--outer\n"
        "Content-Type: multipart/alternative; boundary=inner\n"
        "\n"
        "--inner\n"
        "Content-Type: text/plain; charset=iso-8859-1\n"
        "Content-Transfer-Encoding: quoted-printable\n"
        "\n"
        "Gr=FC=DFe, a long line that is =\n"
        "continued\n"
        "--inner\n"
        "Content-Type: text/html\n"
        "\n"
        "<p>Hi</p>\n"
        "--inner--\n"
        "--outer\n"
        "Content-Type: application/octet-stream; name*=utf-8''%C3%A9t%C3%A9.bin\n"
        "Content-Transfer-Encoding: base64\n"
        "\n"
        "AAEC/w==\n"
        "--outer\n"
        "Content-Type: message/rfc822\n"
        "\n"
        "Subject: forwarded\n"
        "Content-Type: text/plain; name=\"=?utf-8?Q?n=C3=B6te.txt?=\"\n"
        "Content-Disposition: attachment\n"
        "\n"
        "inner text\n"
        "--outer\n"
        "Content-Type: text/plain\n"
        "Content-Disposition: attachment; filename*0*=utf-8''a%20b; filename*1=\"c.txt\"\n"
        "\n"
        "last part without a closing delimiter\n");
  EXPECT_EQ(message.body, Ansi(u"Gr\u00FC\u00DFe, a long line that is continued"));
  ASSERT_EQ(message.attachmentNames.size(), 4u);
  EXPECT_EQ(message.htmlBodyIndex, 0);
  EXPECT_EQ(Saved(0), "<p>Hi</p>");
  EXPECT_EQ(message.attachmentNames[1], Ansi(u"\u00E9t\u00E9.bin"));
  EXPECT_EQ(Saved(1), std::string("\x00\x01\x02\xff", 4));
  EXPECT_EQ(message.attachmentNames[2], Ansi(u"n\u00F6te.txt"));
  EXPECT_EQ(Saved(2), "inner text");
  EXPECT_EQ(message.attachmentNames[3], "a bc.txt");
  EXPECT_EQ(Saved(3), "last part without a closing delimiter\n");
}

TEST_F(MessageParserTest, ASecondTextIsAPartNotTheBody) {
  Parse("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nfirst\r\n"
        "--b\r\n\r\nsecond\r\n--b--\r\n");
  EXPECT_EQ(message.body, "first");
  ASSERT_EQ(message.attachmentSources.size(), 1u);
  EXPECT_EQ(Saved(0), "second");
  Parse("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/html\r\n\r\n"
        "<p>1</p>\r\n--b\r\nContent-Type: text/html\r\n\r\n<p>2</p>\r\n--b--\r\n");
  EXPECT_EQ(message.htmlBodyIndex, 0) << "so is a second HTML part";
}

TEST_F(MessageParserTest, NamesFromTheNetworkStayInsideTheDirectory) {
  const struct {
    const char* name;
    const char* safe;
  } cases[] = {
      {"../../etc/passwd", "passwd"}, {"..", ""}, {"C:\\\\dir\\\\evil.exe", "evil.exe"},
      {"a\x01" "b\x7f" "c.txt", "abc.txt"}, {"  spaced  ", "spaced"}, {"...", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SafeFileName(c.name), c.safe);
    Parse(std::string("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                      "Content-Disposition: attachment; filename=\"") + c.name +
          "\"\r\n\r\ndata\r\n--b--\r\n");
    ASSERT_EQ(message.attachmentSources.size(), 1u);
    EXPECT_EQ(std::filesystem::path(message.attachmentSources[0]).parent_path(),
              std::filesystem::path(directory.path()).parent_path());
  }
  EXPECT_TRUE(std::filesystem::exists(directory.path()));
}

TEST_F(MessageParserTest, HostileNestingAndPartCountsAreBounded) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) {
    deep += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n--b" +
            std::to_string(i) + "\r\n";
  }
  Parse(deep + "\r\ntext\r\n");
  EXPECT_EQ(message.body, "") << "below the deepest level read, the rest is one part";
  std::string many = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
  // Every other part is saved while its end is looked for.
  for (int i = 0; i < 3000; ++i) {
    many += i % 2 == 1 ? "--b\r\nContent-Type: application/x\r\n"
                         "Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n"
                       : "--b\r\nContent-Type: application/x\r\n\r\nx\r\n";
  }
  Parse(many);
  // The message itself is one of the parts.
  EXPECT_EQ(message.attachmentNames.size(), kMaxMimeParts - 1);
}

TEST_F(MessageParserTest, TextDecodingTable) {
  EXPECT_EQ(DecodeQuotedPrintable("a=3Db=\r\nc=ZZ="), "a=bc=ZZ");
  EXPECT_EQ(DecodeEncodedWords("=?UTF-8?q?a_b?= =?utf-8?b?Yw==?= d =?x?Z?e?="), "a bc d =?x?Z?e?=");
  EXPECT_EQ(DecodeExtendedValue("iso-8859-1'en'%E9t%E9"), Ansi(u"\u00E9t\u00E9"));
  EXPECT_EQ(ToLibraryText("\xe9", "windows-1252"), Ansi(u"\u00E9"));
}

// The record's text has CR LF line ends, whether the body text is handed
// over as it is or its LF-only lines are converted.
TEST(RecordOfMessage, TheTextEndsEveryLineWithCrLf) {
  const struct {
    const char* body;
    const char* text;
  } cases[] = {
      {"one\r\ntwo", "one\r\ntwo"},
      {"one\ntwo", "one\r\ntwo"},
      {"one\r\ntwo\nthree", "one\r\ntwo\r\nthree"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    MailMessage message(nullptr, nullptr, nullptr);
    message.body = c.body;
    const MailData record = RecordOfMessage(message);
    EXPECT_EQ(record.message, c.text);
    EXPECT_EQ(record.bodyType, MailData::kBodyText);
  }
}

// A base64 attachment is decoded while the end of its part is looked for;
// lines that only look like a delimiter, padding, foreign bytes, LF-only
// lines, a part without a body and a missing closing delimiter give what
// the part's own text gives. Only whole lines "--b" (then "--" or blanks)
// are delimiters.
TEST_F(MessageParserTest, ABase64PartEndsAtItsDelimiterWhileItIsDecoded) {
  const std::string head =
      "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
      "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n";
  const struct {
    std::string message;
    std::vector<std::string> saved;
    std::string body = {};
  } cases[] = {
      {head + "\r\nQUJD\r\nREVG\r\n--b--\r\n", {"ABCDEF"}},
      {head + "\r\nQUJDREU=\r\n--b\r\n", {"ABCDE"}},
      {head + "\r\nQUJD-REVG\r\n--b--\r\n", {"ABCDEF"}},
      {head + "\r\nQUJD\r\n--bx\r\nREVG\r\n--b--\r\n", {"ABCo\x14" "D"}},
      {head + "\r\n\r\n--b--\r\n", {""}},
      {head + "\r\nQUJD\r\n", {"ABC"}},
      {head + "--b\r\n" + head.substr(head.find("Content-Type: app")) + "\r\nQUJD\r\n--b--",
       {"", "ABC"}},
      // A text is the body, a message is read as one, not saved.
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain; "
       "charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\nQUJD\r\n--b--\r\n",
       {}, "ABC"},
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: message/rfc822\r\n"
       "Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n--b--\r\n",
       {}},
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: application/x\r\n\r\n"
       "x--b\r\n--b-\r\n--b \t\r\nContent-Type: application/y\r\n\r\nlast\r\n--b--",
       {"x--b\r\n--b-", "last"}},
      // Without the end of its header block a multipart has no body to split.
      {"Content-Type: multipart/mixed; boundary=b\r\n--b\r\nx\r\n", {""}},
      // A boundary decoded to hold a line end (no boundary may) delimits
      // nothing: the body is one part.
      {"Content-Type: multipart/mixed; boundary*=''a%0Ab\r\n\r\n--a\nb\r\n\r\ntext\r\n--a\nb--\r\n",
       {"--a\nb\r\n\r\ntext\r\n--a\nb--\r\n"}},
      // Only a closing delimiter: the body is one part.
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b--\r\nafter\r\n",
       {"--b--\r\nafter\r\n"}},
  };
  for (const auto& c : cases) {
    for (const bool lf : {false, true}) {
      std::string text = c.message;
      if (lf) text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
      SCOPED_TRACE(text);
      Parse(text);
      ASSERT_EQ(message.attachmentSources.size(), c.saved.size());
      for (size_t i = 0; i < c.saved.size(); ++i) {
        std::string saved = c.saved[i];
        if (lf) saved.erase(std::remove(saved.begin(), saved.end(), '\r'), saved.end());
        EXPECT_EQ(Saved(i), saved);
      }
      EXPECT_EQ(message.body, c.body);
      RemovePartFiles(message);
    }
  }
  ParseMessage(message, cases[0].message, directory.path().c_str(), false);
  EXPECT_TRUE(message.attachmentSources.empty()) << "nothing is saved without split";
}

// A message as large as the reader's batches, with a long base64 run that
// is decoded as it arrives.
TEST_F(MessageParserTest, ALargeAttachmentIsTheSameWhenItIsReadWhileItArrives) {
  const std::string bytes = RandomBytes(3 << 20, 7);
  std::string encoded;
  Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), encoded);
  const std::string text = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n" +
                           std::string(1 << 20, 'x') + "\r\n--b\r\nContent-Type: image/png\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\n" + encoded +
                           "\r\n--b--\r\nepilogue\r\n";
  for (const size_t batch : {size_t{4096}, size_t{256} << 10}) {
    Parse(text, batch);
    ASSERT_EQ(message.attachmentSources.size(), 1u);
    EXPECT_TRUE(Saved(0) == bytes);
    EXPECT_EQ(message.body.size(), size_t{1} << 20);
  }
}

// The attachment's file fills while the message arrives: its header block
// comes in two pieces, then its base64 lines in quarters. Abandoned then,
// the parse leaves no file.
TEST(StreamingParser, AnAttachmentIsDecodedIntoItsFileAsItArrives) {
  for (const bool abandon : {false, true}) {
    TempDirectory directory;
    const std::string bytes = RandomBytes(1 << 20, 5);
    std::string encoded;
    Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), encoded);
    const std::string head = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                             "Content-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    const std::string text = head + encoded + "--b--\r\n";
    MailMessage parsed(nullptr, nullptr, nullptr);
    {
      StreamingParser parser(parsed, directory.path(), true, SIZE_MAX);
      size_t fed = 0;
      for (const size_t end : {head.size() - 20, text.size() / 4, text.size() / 2}) {
        parser.Feed(std::string_view(text).substr(fed, end - fed));
        fed = end;
      }
      const auto file = std::filesystem::directory_iterator(directory.path())->path();
      EXPECT_GT(std::filesystem::file_size(file), bytes.size() * 3 / 8) << "more than a quarter";
      if (!abandon) {
        parser.Feed(std::string_view(text).substr(fed));
        parser.Finish();
      }
    }
    if (abandon) {
      EXPECT_TRUE(std::filesystem::is_empty(directory.path()));
      continue;
    }
    ASSERT_EQ(parsed.attachmentSources.size(), 1u);
    EXPECT_TRUE(ReadFile(parsed.attachmentSources[0]) == bytes);
  }
}

// A body text that needs neither decoding nor conversion stays in the
// message text and goes from there into the mail-data file; any other is
// decoded into the record. The file holds the same text either way (the
// in-place column is for a UTF-8 system).
TEST_F(MessageParserTest, ABodyTextInPlaceIsWrittenAsTheRecordsText) {
  const struct {
    const char* message;
    bool inPlace;
    std::u16string_view text;
    int32_t bodyType = MailData::kBodyText;
  } cases[] = {
      {"Content-Type: text/plain; charset=us-ascii\r\n\r\none\r\ntwo\r\n\r\n", true,
       u"one\r\ntwo"},
      {"Content-Type: text/plain; charset=us-ascii\n\none\ntwo\n", true, u"one\r\ntwo"},
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
       "Content-Type: text/plain; charset=utf-8\r\n\r\nfirst\r\n--b--\r\n",
       true, u"first"},
      {"Content-Type: multipart/alternative; boundary=b\n\n--b\n"
       "Content-Type: text/plain; charset=utf-8\n\none\ntwo\n--b\n"
       "Content-Type: text/html\n\n<p>one</p>\n--b--\n",
       true, u"one\r\ntwo", MailData::kBodyHtml},
      // Without a charset, valid UTF-8 is UTF-8: the library's text here.
      {"Subject: s\r\n\r\none\r\n", true, u"one"},
      {"Subject: s\r\n\r\n\xc3\xa9\r\n", true, u"\u00e9"},
      {"Subject: s\r\n\r\n\xe9\r\n", false, u"\u00e9"},
      {"Content-Transfer-Encoding: quoted-printable\r\n\r\na=3Db\r\n", false, u"a=b"},
      {"Content-Transfer-Encoding: base64\r\n\r\nb25lDQp0d28=\r\n", false, u"one\r\ntwo"},
      {"Content-Type: text/plain; charset=iso-8859-1\r\n\r\nd\xe9j\xe0\r\n", false,
       u"d\u00e9j\u00e0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::optional<std::string_view> bodyInText;
    const std::string text = c.message;
    ParseMessageInPlace(message, text, directory.path().c_str(), true, bodyInText);
    // Which charsets need no conversion depends on the ANSI code page.
    if (platform::AnsiCodePage() == platform::kCodePageUtf8) {
      EXPECT_EQ(bodyInText.has_value(), c.inPlace);
      EXPECT_EQ(message.body.empty(), c.inPlace);
    }
    if (bodyInText) {
      MailMessage copied(nullptr, nullptr, nullptr);
      ParseMessage(copied, text, directory.path().c_str(), false);
      EXPECT_EQ(*bodyInText, copied.body) << "the text ParseMessage gives";
    }
    MailData record;
    ASSERT_TRUE(WriteRecordOfMessage(message, bodyInText, directory.path() + "/out", record));
    MailData read;
    ASSERT_TRUE(read.ReadFile(record.filePath));
    EXPECT_EQ(read.message, Ansi(c.text));
    EXPECT_EQ(read.bodyType, c.bodyType);
  }
}

}  // namespace
}  // namespace quorvel
