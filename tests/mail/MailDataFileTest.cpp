// Mail-data files: bytes written by hand from the format's description, the
// reading rules and the dump, the writer's cases, naming and moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

#include "KeyedCases.h"
#include "TempDirectory.h"
#include "mail/MailDataDump.h"
#include "mail/MailDataMove.h"
#include "mail/MailFileFormat.h"
#include "platform/Faults.h"
#include "quorvel/MailData.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;
namespace fs = std::filesystem;

// Three recipients, a copy, a multi-line text, an HTML body and two more
// attachments, written by hand (its fields: lesson.dump).
const std::string kLesson = QUORVEL_TEST_DATA "/mes/lesson";

MailData Read(const std::string& path) {
  MailData mail;
  EXPECT_TRUE(mail.ReadFile(path)) << path;
  return mail;
}

// Each tests/data/mes/NAME.mes (with its NAME_k.att files) dumps as NAME.dump
// says, DIR standing for the directory: the fields and the reading rules.
TEST(MailDataDump, TheFilesOfTheDataDirectory) {
  const std::string directory = QUORVEL_TEST_DATA "/mes/";
  int cases = 0;
  for (const auto& entry : fs::directory_iterator(directory)) {
    if (entry.path().extension() != ".mes") continue;
    ++cases;
    std::ostringstream out;
    EXPECT_TRUE(DumpMailDataFile(entry.path().string(), out)) << entry.path();
    std::string dump = out.str();
    for (size_t at; (at = dump.find(directory)) != std::string::npos;) {
      dump.replace(at, directory.size(), "DIR/");
    }
    fs::path expected = entry.path();
    EXPECT_EQ(dump, ReadFile(expected.replace_extension(".dump").string())) << entry.path();
  }
  EXPECT_EQ(cases, 22);
  std::ostringstream missing;
  EXPECT_FALSE(DumpMailDataFile(directory + "none.mes", missing));
  TempDirectory dir;  // a file above the cap is not read, whatever it holds
  WriteFile(dir / "big.mes", "#To : t@x.test\r\n");
  fs::resize_file(dir / "big.mes", (uint64_t{64} << 20) + 1);
  std::ostringstream big;
  EXPECT_FALSE(DumpMailDataFile(dir / "big.mes", big));
  EXPECT_EQ(big.str(), "cannot read mail-data file " + (dir / "big.mes") +
                           ": larger than 64 MiB (67108865 bytes)\n");
}

TEST(MailDataFile, AHandWrittenFileReadsWritesAndReadsAgain) {
  TempDirectory to;
  MailData mail = Read(kLesson + ".mes");
  ASSERT_TRUE(mail.WriteToDirectory(to.path()));
  EXPECT_EQ(mail.filePath, to / "~AT0.mes");
  EXPECT_EQ(ReadFile(to / "~AT0.mes"), ReadFile(kLesson + ".mes"));
  EXPECT_EQ(ReadFile(to / "~AT0_2.att"), std::string("\x89PNG\0\x01", 6));
  MailData again = Read(to / "~AT0.mes");
  EXPECT_EQ(again.attachmentFiles,
            StringList({to / "~AT0_1.att", to / "~AT0_2.att", to / "~AT0_3.att"}));
  again.filePath = mail.filePath;
  EXPECT_EQ(FormatMailHead(again) + FormatMailAttachments(again), ReadFile(kLesson + ".mes"));
  EXPECT_TRUE(fs::exists(kLesson + ".mes")) << "writing leaves the source";
  EXPECT_FALSE(again.ReadFile(to / "missing.mes"));
  EXPECT_TRUE(again.to.empty()) << "reading starts from an empty record";
  EXPECT_FALSE(again.ReadFile(to.path())) << "a directory is no mail-data file";
}

// Each case of tests/data/mes/written.txt: no value makes a line of its own, what no name can
// hold (a comma, a directory part) is replaced, in the record written too; the file reads back
// as the same record, and the writer given the message as it is writes the same file.
TEST(MailDataFile, TheWrittenCasesOfTheDataDirectory) {
  TempDirectory dir;
  WriteFile(dir / "h.txt", "H");
  for (const KeyedCase& c : KeyedCases("mes/written")) {
    SCOPED_TRACE(c.name);
    MailData mail;
    const std::map<std::string, std::string*> asGiven = {
        {"Version", &mail.version}, {"SenderName", &mail.senderName}, {"From", &mail.from},
        {"Subject", &mail.subject}, {"Text", &mail.message}};
    std::optional<std::string> message;
    for (const auto& [key, input] : c.lines) {
      if (key != "<") continue;
      const size_t colon = input.find(": ");
      const std::string field = input.substr(0, colon), value = input.substr(colon + 2);
      if (asGiven.contains(field)) *asGiven.at(field) = value;
      if (field == "To") mail.AddTo(value);
      if (field == "Copy") mail.AddCopy(value);
      if (field == "CodePage") mail.codePage = std::stoi(value);
      if (field == "Rtf" || field == "Html") mail.bodyIndex = std::stoi(value);
      if (field == "Rtf" || field == "Html") {
        mail.bodyType = field == "Rtf" ? MailData::kBodyRtf : MailData::kBodyHtml;
      }
      if (field == "Message") mail.SetMessage(*(message = value));
      if (field == "Attachment") mail.attachmentNames.push_back(value);
      if (field == "Attachment") mail.attachmentFiles.push_back(dir / "h.txt");
    }
    MailData given = mail;
    ASSERT_TRUE(mail.WriteToDirectory(dir / "set"));
    EXPECT_EQ(ReadFile(mail.filePath), c.Get("="));
    std::string names;  // the record's own, as the file stores them
    for (const std::string& name : mail.attachmentNames) names += (names.empty() ? "" : ",") + name;
    EXPECT_EQ(FormatMailHead(mail) + "#Attachments : " + names + "\r\n", c.Get("=")) << "as stored";
    const MailData read = Read(mail.filePath);
    if (mail.message.find_last_not_of("\r\n") + 1 == mail.message.size()) {  // else trimmed
      EXPECT_EQ(FormatMailHead(read) + FormatMailAttachments(read), c.Get("=")) << "read back";
    }
    if (message) {
      ASSERT_TRUE(WriteMailData(given, dir / "given", false, *message, true));
      EXPECT_EQ(ReadFile(given.filePath), c.Get("=")) << "the message given as it is";
    }
  }
}

// The body's kind from an attachment's, an HTML body that goes with its missing content file,
// and a directory's records loaded (only its files "*.mes") and removed with their files.
TEST(MailDataFile, KindsMissingContentAndTheDirectorysRecords) {
  TempDirectory dir, out;
  const std::string level = out / "new/level/";
  WriteFile(dir / "a.txt", "A");
  MailData mail;
  mail.AddTo("x@y.test");
  ASSERT_TRUE(mail.AddAttachment(dir / "a.txt", "", 0));
  EXPECT_FALSE(mail.AddAttachment(dir / "missing.txt", "", 0));
  ASSERT_TRUE(mail.AddAttachment("shown.txt", dir / "a.txt", 1));
  EXPECT_EQ(mail.bodyIndex, 1);
  EXPECT_EQ(mail.attachmentFiles, StringList({"", dir / "a.txt"}));
  MailData other = mail;
  ASSERT_TRUE(other.AddAttachment(dir / "a.txt", "", 7));
  EXPECT_EQ(other.bodyType, MailData::kBodyText) << "a file of another kind makes the body text";
  ASSERT_TRUE(mail.WriteToDirectory(out / "new/level"));
  EXPECT_EQ(mail.filePath, level + "~AT0.mes");
  fs::remove(level + "~AT0_2.att");
  const MailData read = Read(mail.filePath);
  EXPECT_EQ(read.attachmentNames, StringList({"a.txt"})) << "no content file: left out";
  EXPECT_EQ(read.attachmentFiles, StringList({level + "~AT0_1.att"}));
  EXPECT_EQ(read.bodyType, MailData::kBodyText) << "the HTML body went with it";

  MailDataList list;
  WriteFile(level + "notes.txt", "not a mail");
  fs::create_directory(level + "folder.mes");
  ASSERT_TRUE(list.LoadDirectory(out / "new/level"));
  ASSERT_EQ(list.Size(), 1u);
  EXPECT_EQ(list[0].to, StringList({"x@y.test"}));
  list.RemoveAt(0, true);
  EXPECT_TRUE(list.IsEmpty());
  for (const char* gone : {"~AT0.mes", "~AT0_1.att"}) EXPECT_FALSE(fs::exists(level + gone));
  EXPECT_FALSE(list.LoadDirectory(out / "missing"));
}

// A mail without attachments whose file is exactly the writer's moves by a
// rename (the file keeps its time); any other mail is written anew.
TEST(MailDataFile, MovesRenameOnlyFilesTheWriterWouldWrite) {
  const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1000);
  const struct {
    const char* name;
    bool handWritten, readOnly, attachment, renamed;
  } cases[] = {{"plain", false, false, false, true}, {"hand-written", true, false, false, false},
               {"read-only", false, true, false, false}, {"attachment", false, false, true, false}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    TempDirectory out, sent;
    WriteFile(sent / "~AT0.mes", "");
    MailData mail;
    mail.AddTo("x@y.test");
    mail.SetMessage("Hello\r\n");
    if (test.attachment) {
      WriteFile(out / "a.txt", "A");
      mail.AddAttachment(out / "a.txt", "", 0);
    }
    ASSERT_TRUE(mail.WriteToDirectory(out.path()));
    const std::string written = ReadFile(mail.filePath);
    if (test.handWritten) {
      WriteFile(mail.filePath, written + "\r\n");
      ASSERT_TRUE(mail.ReadFile(std::string(mail.filePath)));
    }
    fs::last_write_time(mail.filePath, past);
    if (test.readOnly) fs::permissions(mail.filePath, fs::perms::owner_read);
    const std::string old = mail.filePath;
    ASSERT_TRUE(mail.MoveToDirectory(sent.path()));
    EXPECT_EQ(mail.filePath, sent / "~AT1.mes");
    EXPECT_EQ(ReadFile(mail.filePath), written);
    // Windows keeps file times to 100 ns.
    EXPECT_EQ(fs::last_write_time(mail.filePath) - past < std::chrono::seconds(1), test.renamed);
    EXPECT_EQ(fs::exists(old), test.readOnly);
  }
}

// Loaded records move unread while their files keep the stamps they had when
// read; a file changed since is left to the writer, which writes the record as read.
TEST(MailDataFile, LoadedRecordsMoveUnreadWhileTheirFilesAreUnchanged) {
  TempDirectory queue, sent;
  MailData mail;
  mail.AddTo("x@y.test");
  mail.SetMessage("Hello\r\n");
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(MailData(mail).WriteToDirectory(queue.path()));
  const std::string written = ReadFile(queue / "~AT0.mes");
  MailDataList list;
  std::vector<WrittenAsRead> writtenAs;
  ASSERT_TRUE(LoadMailDirectory(queue.path(), list, &writtenAs));
  ASSERT_EQ(writtenAs.size(), 2u);
  const std::string changed = queue / "~AT1.mes";
  WriteFile(changed, written + "#Subject : edited meanwhile\r\n");
  uint32_t known = 0;
  for (uint32_t i = 0; i < 2; ++i) {
    const bool edited = list[i].filePath == changed;
    ASSERT_TRUE(writtenAs[i].has_value());
    platform::FileFaults faults;
    ASSERT_TRUE(MoveMailData(list[i], sent.path(), known, writtenAs[i]));
    EXPECT_EQ(faults.Count(platform::FileOperation::Open) != 0, edited) << "read or written anew";
    EXPECT_EQ(ReadFile(list[i].filePath), written) << "the record as read";
  }
  EXPECT_FALSE(fs::exists(changed));
  WriteFile(queue / "hand.mes", written + "\r\n");
  MailData hand;
  WrittenAsRead handWritten = platform::StampOf(queue / "hand.mes");
  EXPECT_TRUE(ReadMailFile(hand, queue / "hand.mes", &handWritten, nullptr));
  EXPECT_FALSE(handWritten.has_value()) << "not what the writer writes";
}

}  // namespace
}  // namespace quorvel
