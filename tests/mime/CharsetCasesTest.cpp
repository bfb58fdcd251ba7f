// Received texts in every charset: each message of tests/data/charsets must
// give the text that Python's codecs give for it (make_cases.py wrote both),
// in the library's code page, parsed whole and in place.
#include <gtest/gtest.h>


#include "TempDirectory.h"
#include "frame/LogEvents.h"
#include "frame/LogTable.h"
#include "text/CharsetNames.h"
#include "message/MessageParser.h"
#include "message/MimeText.h"
#include "platform/CodePages.h"
#include "platform/FileSystem.h"
#include "platform/Threads.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

const std::string kCases = NativePath(QUORVEL_TEST_DATA "/charsets/");

std::string LibraryText(const std::string& utf8) {
  const std::u16string wide = platform::MultiByteToWide(platform::kCodePageUtf8, utf8).value();
  return platform::WideToMultiByte(platform::kCodePageAnsi, wide).value();
}

std::string Fields(const MailMessage& message, std::string_view body) {
  std::string fields = "Subject: " + message.subject + "\n";
  for (const std::string& name : message.attachmentNames) fields += "Attachment: " + name + "\n";
  return fields + "\n" + std::string(body);
}

TEST(CharsetCases, EveryMessageGivesThePythonText) {
  const auto entries = platform::ListDirectory(kCases, "*.eml");
  ASSERT_GE(entries.size(), 45u) << kCases;
  for (const auto& entry : entries) {
    const std::string name = entry.name.substr(0, entry.name.size() - 4);
    const std::string text = ReadFile(kCases + entry.name);
    const std::string wanted = LibraryText(ReadFile(kCases + name + ".expected"));
    TempDirectory parts;
    MailMessage whole(nullptr, nullptr, nullptr);
    ParseMessage(whole, text, parts.path().c_str(), true);
    EXPECT_EQ(Fields(whole, whole.body), wanted) << name;
    MailMessage inPlace(nullptr, nullptr, nullptr);
    std::optional<std::string_view> body;
    ParseMessageInPlace(inPlace, text, parts.path().c_str(), true, body);
    EXPECT_EQ(Fields(inPlace, body ? *body : std::string_view(inPlace.body)), wanted) << name;
  }
}

// The tables of the ISO charsets that Windows has no code page for, against
// the converter of a system that has them.
TEST(CharsetCases, HighHalfTablesAgreeWithTheSystemsConverter) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  for (const char* name : {"ISO-8859-10", "ISO-8859-14", "ISO-8859-16"}) {
    const auto converted = platform::NamedCharsetToWide(name, all);
    if (!converted) GTEST_SKIP() << "no converter knows " << name << " (Windows)";
    EXPECT_EQ(HighHalfTextToWide(all, LookUpCharset(name).highHalf), *converted) << name;
  }
}

TEST(CharsetCases, AnUnknownCharsetIsLoggedWithItsLabel) {
  TempDirectory logs;
  CxThreadObjects table;
  auto object = std::make_unique<ThreadLogObject>();
  object->logDirectory = logs.path();
  object->filePrefix = "qv";
  object->keepCount = 3;
  table.Add(platform::CurrentThreadId(), std::move(object));
  InitializeLogTable(&table);
  EXPECT_EQ(ToLibraryText("caf\xC3\xA9", "x-no-such-charset"), LibraryText("caf\xC3\xA9"));
  EXPECT_EQ(ToLibraryText("caf\xE9", "koi8-r"), LibraryText("caf\xD0\x98"));
  InitializeLogTable(nullptr);
  const auto files = platform::ListDirectory(logs.path(), "qv*.log");
  ASSERT_EQ(files.size(), 1u);
  const std::string log = ReadFile(logs / files[0].name);
  EXPECT_NE(log.find(" 100032  3=x-no-such-charset 1=0\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("koi8"), std::string::npos) << log;
}

}  // namespace
}  // namespace quorvel
