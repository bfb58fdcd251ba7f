// The reader of received messages on hand-written messages of the kinds mail programs send, on
// hostile ones, and on texts in every charset.
#include "message/MessageParser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>

#include "RandomBytes.h"
#include "TempDirectory.h"
#include "KeyedCases.h"
#include "HostLogTable.h"
#include "mail/ReceiveFunctions.h"
#include "message/MimeHeaders.h"
#include "message/MimeText.h"
#include "platform/CodePages.h"
#include "platform/FileSystem.h"
#include "text/Base64.h"
#include "text/CharsetNames.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// The library's texts are in the system's ANSI code page.
std::string Ansi(const std::string& utf8) {
  const auto wide = platform::MultiByteToWide(platform::kCodePageUtf8, utf8).value();
  return platform::WideToMultiByte(platform::kCodePageAnsi, wide).value();
}

// A parsed message as the expected files of tests/data/received write it: "*" for a part listed
// under its file's name, "\r", "\n", "\\" and "\xNN" for its bytes outside printable ASCII.
std::string Described(const MailMessage& message) {
  std::string fields = "From: " + message.notesSender + "\nTo: " + message.recipient +
                       "\nCc: " + message.cc + "\nSubject: " + message.subject +
                       "\nHtml: " + std::to_string(message.htmlBodyIndex) + "\n";
  for (size_t i = 0; i < message.attachmentSources.size(); ++i) {
    const bool named = message.attachmentNames[i] != message.attachmentSources[i];
    fields += "Attachment: " + (named ? message.attachmentNames[i] : "*") + "\nContent: ";
    for (const char c : ReadFile(message.attachmentSources[i])) {
      char hex[5] = {};
      if (c < 0x20 || c >= 0x7F) std::snprintf(hex, sizeof hex, "\\x%02X", c & 0xFF);
      fields += c == '\\' ? "\\\\" : c == '\r' ? "\\r" : c == '\n' ? "\\n"
                : hex[0] ? hex : std::string(1, c);
    }
    fields += "\n";
  }
  return fields + "\n" + message.body;
}

class MessageParserTest : public ::testing::Test {
 protected:
  // ParseMessage, checking that pieces of one byte (short texts), of random sizes and all at
  // once give the same.
  MailMessage& Parse(const std::string& text) {
    ParseMessage(message, text, directory.path().c_str(), true);
    std::mt19937 random(static_cast<uint32_t>(text.size()));
    std::uniform_int_distribution<size_t> size(1, std::max<size_t>(text.size() / 16, 64));
    const std::function<size_t()> pieces[] = {
        [] { return size_t{1}; }, [&] { return size(random); }, [&] { return text.size(); }};
    for (size_t i = text.size() > 4096 ? 1 : 0; i < std::size(pieces); ++i) {
      MailMessage arrived(nullptr, nullptr, nullptr);
      {
        StreamingParser parser(arrived, directory.path().c_str(), true, SIZE_MAX);
        for (size_t at = 0, n = 0; at < text.size(); at += n) {
          n = std::min(pieces[i](), text.size() - at);
          parser.Feed(std::string_view(text).substr(at, n));
        }
        parser.Finish();
      }
      EXPECT_TRUE(Described(arrived) == Described(message))
          << "pieces " << i << "\n" << Described(arrived).substr(0, 2000);
      RemovePartFiles(arrived);
    }
    return message;
  }

  TempDirectory directory;
  MailMessage message{nullptr, nullptr, nullptr};
};

// Each NAME.eml gives what NAME.expected holds (written from the formats' descriptions, UTF-8).
TEST_F(MessageParserTest, EveryReceivedCaseGivesItsExpectedFields) {
  const std::string cases = QUORVEL_TEST_DATA "/received/";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(cases)) {
    if (entry.path().extension() != ".eml") continue;
    ++count;
    SCOPED_TRACE(entry.path().filename().string());
    Parse(ReadFile(entry.path().string()));
    std::filesystem::path expected = entry.path();
    EXPECT_EQ(Described(message), Ansi(ReadFile(expected.replace_extension(".expected").string())));
    RemovePartFiles(message);
  }
  EXPECT_GE(count, 30);
  ParseMessage(message, ReadFile(cases + "base64-closed.eml"), directory.path().c_str(), false);
  EXPECT_TRUE(message.attachmentSources.empty()) << "nothing is saved without split";
}

TEST_F(MessageParserTest, HostileNestingPartCountsAndHeaderBlocksAreBounded) {
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
  EXPECT_EQ(message.attachmentNames.size(), kMaxMimeParts - 1) << "the message is one part";
  // The caps on a header block, at and past each: the number of fields, a value with its folds.
  std::string fields;
  for (size_t i = 1; i < kMaxHeaderFields; ++i) fields += "X-A: a\r\n";
  EXPECT_EQ(Parse(fields + "Subject: kept\r\n\r\nx\r\n").subject, "kept");
  EXPECT_EQ(Parse(fields + "X-A: a\r\nSubject: lost\r\n\r\nx\r\n").subject, "");
  const std::string a(kMaxHeaderValue - 536, 'a'), b(535, 'b');
  EXPECT_TRUE(Parse("Subject:" + a + "\r\n " + b + "bb\r\n c\r\n\r\nx\r\n").subject == a + " " + b);
  EXPECT_TRUE(Parse("Subject:" + a + b + "bc\r\n\r\nx\r\n").subject == a + b + "b");
}

// A long base64 run is decoded into its file as it arrives (the header block in two pieces, then
// quarters); abandoned then, the parse leaves no file; at once or in pieces, it is the same.
TEST_F(MessageParserTest, ALargeAttachmentIsDecodedIntoItsFileAsItArrives) {
  const std::string bytes = RandomBytes(3 << 20, 7);
  std::string encoded;
  Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), encoded);
  const std::string head = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n" +
                           std::string(1 << 20, 'x') + "\r\n--b\r\nContent-Type: image/png\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\n";
  const std::string text = head + encoded + "\r\n--b--\r\nepilogue\r\n";
  {
    TempDirectory abandoned;
    MailMessage parsed(nullptr, nullptr, nullptr);
    std::optional<StreamingParser> parser(std::in_place, parsed, abandoned.path(), true, SIZE_MAX);
    size_t fed = 0;
    for (const size_t end : {head.size() - 20, text.size() / 4, text.size() / 2}) {
      parser->Feed(std::string_view(text).substr(fed, end - fed));
      fed = end;
    }
    const auto file = std::filesystem::directory_iterator(abandoned.path())->path();
    EXPECT_GT(std::filesystem::file_size(file), bytes.size() / 4) << "more than a quarter";
    parser.reset();
    EXPECT_TRUE(std::filesystem::is_empty(abandoned.path()));
  }
  Parse(text);
  ASSERT_EQ(message.attachmentSources.size(), 1u);
  EXPECT_TRUE(ReadFile(message.attachmentSources[0]) == bytes);
  EXPECT_EQ(message.body.size(), size_t{1} << 20);
}

// A body needing neither decoding nor conversion goes from the message text into the mail-data
// file, any other is decoded into the record; the file holds the same text either way.
TEST_F(MessageParserTest, ABodyTextInPlaceIsWrittenAsTheRecordsText) {
  for (const KeyedCase& c : KeyedCases("in-place/bodies")) {
    SCOPED_TRACE(c.name);
    std::optional<std::string_view> bodyInText;
    const std::string text = c.Get("<");
    ParseMessageInPlace(message, text, directory.path().c_str(), true, bodyInText);
    // Which charsets need no conversion depends on the ANSI code page.
    if (platform::AnsiCodePage() == platform::kCodePageUtf8) {
      EXPECT_EQ(bodyInText.has_value(), c.Get("inplace") == "yes");
      EXPECT_EQ(message.body.empty(), c.Get("inplace") == "yes");
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
    EXPECT_EQ(read.message, Ansi(c.Get("=")));
    EXPECT_EQ(read.bodyType, c.Get("body") == "html" ? MailData::kBodyHtml : MailData::kBodyText);
  }
}

// Each message of tests/data/charsets gives the text Python's codecs give for it (the expected
// texts are written by tests/generators/make-charset-cases.py), in the library's code page,
// parsed whole and in place.
const std::string kCases = NativePath(QUORVEL_TEST_DATA "/charsets/");

std::string Fields(const MailMessage& message, std::string_view body) {
  std::string fields = "Subject: " + message.subject + "\n";
  for (const std::string& name : message.attachmentNames) fields += "Attachment: " + name + "\n";
  return fields + "\n" + std::string(body);
}

TEST(CharsetCases, EveryMessageGivesThePythonTextAndUnknownOnesAreLogged) {
  const auto entries = platform::ListDirectory(kCases, "*.eml");
  ASSERT_GE(entries.size(), 45u) << kCases;
  for (const auto& entry : entries) {
    const std::string name = entry.name.substr(0, entry.name.size() - 4);
    const std::string text = ReadFile(kCases + entry.name);
    const std::string wanted = Ansi(ReadFile(kCases + name + ".expected"));
    TempDirectory parts;
    MailMessage whole(nullptr, nullptr, nullptr);
    ParseMessage(whole, text, parts.path().c_str(), true);
    EXPECT_EQ(Fields(whole, whole.body), wanted) << name;
    MailMessage inPlace(nullptr, nullptr, nullptr);
    std::optional<std::string_view> body;
    ParseMessageInPlace(inPlace, text, parts.path().c_str(), true, body);
    EXPECT_EQ(Fields(inPlace, body ? *body : std::string_view(inPlace.body)), wanted) << name;
  }

  // An unknown charset is logged with its label.
  TempDirectory logs;
  {
    HostLogTable log(logs.path(), "qv", 3);
    EXPECT_EQ(ToLibraryText("caf\xC3\xA9", "x-no-such-charset"), Ansi("caf\xC3\xA9"));
    EXPECT_EQ(ToLibraryText("caf\xE9", "koi8-r"), Ansi("caf\xD0\x98"));
  }
  const auto files = platform::ListDirectory(logs.path(), "qv*.log");
  ASSERT_EQ(files.size(), 1u);
  const std::string log = ReadFile(logs / files[0].name);
  EXPECT_NE(log.find(" 100032  3=x-no-such-charset 1=0\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("koi8"), std::string::npos) << log;
}

// The tables of the ISO charsets Windows has no code page for, against a system's converter.
TEST(CharsetCases, HighHalfTablesAgreeWithTheSystemsConverter) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  for (const char* name : {"ISO-8859-10", "ISO-8859-14", "ISO-8859-16"}) {
    const auto converted = platform::NamedCharsetToWide(name, all);
    if (!converted) GTEST_SKIP() << "no converter knows " << name << " (Windows)";
    EXPECT_EQ(HighHalfTextToWide(all, LookUpCharset(name).highHalf), *converted) << name;
  }
}

}  // namespace
}  // namespace quorvel
