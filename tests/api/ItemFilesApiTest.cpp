// Pupil mails and tutor replies written, threaded and read back through
// libquorvel.so as hosts do: attachments and learning data of every size
// from 0 bytes to 5 MB, with non-ASCII names; a tutor reply a pupil's host
// checks without a context. An item being written or read is copied into a
// directory of the process's own inside the temporary directory, which only
// the user may enter, never into the temporary directory itself where others
// could read or take its name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "../exchange/RecordBytes.h"
#include "ByteCases.h"
#include "HostWrites.h"
#include "OnHostThread.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;
using Paths = std::vector<std::string>;
namespace fs = std::filesystem;

// Runs `body` on a host thread whose context has the mailbox base/anna open.
template <typename Body>
void WithMailbox(const TempDirectory& base, Body body) {
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    body();
  });
}

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7919) >> 3);
  return bytes;
}

struct StoredFile {
  std::u16string name;
  std::string content;
};

// TessalyGetAttachment and the getters of the learning-data lists.
using ListGetter = bool (*)(uint32_t, int32_t, CodedText*, const char*);

// Every file of a list of item 0 comes back with its name and bytes, and nothing past it.
void ExpectList(const TempDirectory& dir, ListGetter get, const std::vector<StoredFile>& files) {
  for (size_t i = 0; i < files.size(); ++i) {
    CodedText name;
    const std::string target = dir / "extracted";
    ASSERT_TRUE(get(0, static_cast<int32_t>(i), &name, target.c_str())) << i;
    EXPECT_EQ(name.codePage, 65001);
    EXPECT_EQ(name.text.View(), files[i].name);
    EXPECT_TRUE(ReadFile(target) == files[i].content) << "file " << i << " differs";
  }
  CodedText untouched(1250, WideString(u"kept"));
  EXPECT_FALSE(get(0, static_cast<int32_t>(files.size()), &untouched, nullptr));
  EXPECT_FALSE(get(0, -1, &untouched, nullptr));
  EXPECT_EQ(untouched.text.View(), u"kept");
}

TEST(ItemFiles, AttachmentsAndLearningDataOfEverySizeComeBack) {
  TempDirectory base;
  TempDirectory dir;
  const std::string big = Pattern(5 * 1024 * 1024);
  WriteFile(dir / "one.txt", "1");
  WriteFile(dir / "big.bin", big);
  WriteFile(dir / "\xC3\xBC" "bung \xE2\x82\xAC.txt", std::string("\xFF\x00\xFE", 3));  // "übung €.txt"
  WriteFile(dir / "empty.bin", "");
  WriteFile(dir / "t\xC3\xA9.dat", "tracking");
  WriteFile(dir / "diag.dat", "diagnostic");
  WriteFile(dir / "options.ini", "[options]");
  WithMailbox(base, [&] {
    ASSERT_TRUE(HostWritesMail(
        UINT32_MAX, {.attachments = {dir / "one.txt", dir / "big.bin",
                                     dir / "\xC3\xBC" "bung \xE2\x82\xAC.txt", dir / "empty.bin"},
                     .tracking = {dir / "t\xC3\xA9.dat"},
                     .diagnostic = {dir / "diag.dat"},
                     .optionsIni = dir / "options.ini"}));
    EXPECT_EQ(TessalyGetNbAttachments(0), 3) << "the empty file is not stored";
    ExpectList(dir, TessalyGetAttachment,
               {{u"one.txt", "1"}, {u"big.bin", big},
                {u"\u00FCbung \u20AC.txt", std::string("\xFF\x00\xFE", 3)}});
    EXPECT_TRUE(TessalyGetAttachment(0, 2, nullptr, nullptr));
    EXPECT_FALSE(TessalyGetAttachment(0, 0, nullptr, (dir / "no-such-dir/x").c_str()))
        << "an extraction that fails fails the call";

    uint16_t counts[5] = {9, 9, 9, 9, 9};
    ASSERT_TRUE(TessalyGetNbUserData(0, &counts[0], &counts[1], &counts[2], &counts[3], &counts[4]));
    EXPECT_EQ(std::vector<uint16_t>(counts, counts + 5), (std::vector<uint16_t>{1, 1, 1, 0, 0}));
    ExpectList(dir, TessalyGetUserTrackingFile, {{u"t\u00E9.dat", "tracking"}});
    ExpectList(dir, TessalyGetUserDiagFile, {{u"diag.dat", "diagnostic"}});
    ExpectList(dir, TessalyGetUserLearningPathFile, {});
    CodedText name;
    ASSERT_TRUE(TessalyGetUserOptionsIniFile(0, &name, (dir / "ini").c_str()));
    EXPECT_EQ(name, CodedText(1252, WideString(u"options.ini")));
    EXPECT_EQ(ReadFile(dir / "ini"), "[options]");
    EXPECT_FALSE(TessalyGetUserOptionsUpdFile(0, &name, nullptr));
  });
}

// A pupil mail as a host builds it, with a learning-path file and an
// "options.upd" stored under another name, sealed here.
std::string HostBuiltMail() {
  return Resealed(ParseBytes(ReadCaseFile(std::string(QUORVEL_TEST_DATA) +
                                          "/items/host-built-mail.bytes")));
}

TEST(ItemFiles, AHostBuiltMailWithLearningPathAndOptionsUpdate) {
  TempDirectory base;
  TempDirectory dir;
  WriteFile(dir / "host.qv6", HostBuiltMail());
  WithMailbox(base, [&] {
    const Paths recipients = {"3|/nowhere", "3|/elsewhere"};
    EXPECT_FALSE(TessalyAddNewMail((dir / "host.qv6").c_str(), nullptr, nullptr));
    const Paths none;
    EXPECT_FALSE(TessalyAddNewMail((dir / "host.qv6").c_str(), &none, nullptr));
    EXPECT_FALSE(TessalyAddNewMail((dir / "missing.qv6").c_str(), &recipients, nullptr));
    ASSERT_TRUE(TessalyAddNewMail((dir / "host.qv6").c_str(), &recipients, nullptr));
    EXPECT_EQ(ReadFile(dir / "host.qv6"), HostBuiltMail()) << "the host's file stays as it was";

    EXPECT_EQ(TessalyGetNbAttachments(0), 0);
    uint16_t counts[5] = {9, 9, 9, 9, 9};
    ASSERT_TRUE(TessalyGetNbUserData(0, &counts[0], &counts[1], &counts[2], &counts[3], &counts[4]));
    EXPECT_EQ(std::vector<uint16_t>(counts, counts + 5), (std::vector<uint16_t>{0, 0, 0, 1, 1}));
    EXPECT_TRUE(TessalyGetNbUserData(0, nullptr, nullptr, nullptr, nullptr, nullptr));
    ExpectList(dir, TessalyGetUserLearningPathFile, {{u"parcours \u00E9.lp", "lp"}});
    ExpectList(dir, TessalyGetUserTrackingFile, {});
    CodedText name;
    ASSERT_TRUE(TessalyGetUserOptionsUpdFile(0, &name, (dir / "upd").c_str()));
    EXPECT_EQ(name, CodedText(1252, WideString(u"options.upd"))) << "the fixed name, not mine.upd";
    EXPECT_EQ(ReadFile(dir / "upd"), "upd");
    EXPECT_FALSE(TessalyGetUserOptionsIniFile(0, &name, nullptr));
  });
}

TEST(ItemFiles, APupilMailAnswersOnlyATutorReplyAndATutorOnlyAPupilMail) {
  const Paths recipients = {"3|/nowhere"};
  std::thread([] {
    EXPECT_EQ(TessalyGetNbAttachments(0), -1) << "no context";
    EXPECT_FALSE(HostWritesMail(0));
  }).join();
  OnHostThread([&] {  // no mailbox
    EXPECT_FALSE(HostWritesReply(0));
    EXPECT_FALSE(TessalyGetAttachment(0, 0, nullptr, nullptr));
    EXPECT_FALSE(TessalyGetUserDiagFile(0, 0, nullptr, nullptr));
    EXPECT_FALSE(TessalyGetUserOptionsUpdFile(0, nullptr, nullptr));
    EXPECT_FALSE(TessalyAddNewMail("/nowhere.qv6", &recipients, nullptr));
  });
  TempDirectory base;
  WithMailbox(base, [&] {
    ASSERT_TRUE(HostWritesMail(0)) << "an index equal to the number of items: a new thread";
    ASSERT_TRUE(HostWritesMail(UINT32_MAX));
    EXPECT_FALSE(HostWritesReply(2)) << "no item there";
    ASSERT_TRUE(HostWritesReply(0));
    // The reply is filed under the first mail (where is the filing's test).
    EXPECT_FALSE(HostWritesMail(0)) << "item 0 is a pupil mail";
    EXPECT_FALSE(HostWritesReply(1)) << "item 1 is the tutor reply";
    ASSERT_TRUE(HostWritesMail(1));

    uint16_t count = 9;
    EXPECT_FALSE(TessalyGetNbUserData(0, &count, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(count, 9) << "an item without learning data leaves the outputs alone";
    EXPECT_FALSE(TessalyGetUserTrackingFile(0, 0, nullptr, nullptr));
    EXPECT_FALSE(TessalyGetUserOptionsIniFile(0, nullptr, nullptr));
    EXPECT_EQ(TessalyGetNbAttachments(5), -1) << "no item at index 5";
    const std::string empty;
    const CodedText name;
    EXPECT_FALSE(TessalyTutorReplyToMail(1, &name, nullptr, nullptr, 0, &empty)) << "no route";
    EXPECT_FALSE(TessalyTutorReplyToMail(1, &name, nullptr, nullptr, 0, nullptr));
    EXPECT_FALSE(TessalyPupilWriteMail(1, nullptr, nullptr, 0, 0, nullptr, nullptr, 0, nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1))
        << "null values, no route";
  });
}

TEST(TutorReplyCheck, AnswersTheReferenceOfACompleteReplyOnly) {
  TempDirectory dir;
  for (const std::string name : {"tutor-reply", "tutor-reply-incomplete"}) {  // sealed here
    const std::string data = std::string(QUORVEL_TEST_DATA) + "/items/" + name + ".bytes";
    WriteFile(dir / (name + ".qv6"), Resealed(ParseBytes(ReadCaseFile(data))));
  }
  WriteFile(dir / "text.qv6", "not an exchange file");
  const CodedText none = CodedText::Default();
  const std::pair<std::string, CodedText> cases[] = {
      {"tutor-reply.qv6", CodedText(1250, WideString(u"lesson 3"))},
      {"tutor-reply-incomplete.qv6", none}, {"text.qv6", none}, {"missing.qv6", none}};
  for (const auto& [name, reference] : cases) {
    CodedText answered(1251, WideString(u"stale"));
    EXPECT_EQ(TessalyPupilQv6IsValid((dir / name).c_str(), &answered), !(reference == none))
        << name;
    EXPECT_EQ(answered, reference) << name;
  }
  EXPECT_TRUE(TessalyPupilQv6IsValid((dir / "tutor-reply.qv6").c_str(), nullptr));
  EXPECT_FALSE(TessalyPupilQv6IsValid(nullptr, nullptr));
}

// Points the temporary directory (TMPDIR on POSIX, TMP on Windows) at
// `directory` for the object's life.
struct TemporaryDirectoryVariables {
  explicit TemporaryDirectoryVariables(const std::string& directory)
      : set{"TMPDIR=" + directory, "TMP=" + directory} {
    for (std::string& variable : set) putenv(variable.data());
  }
  ~TemporaryDirectoryVariables() {
    for (std::string& variable : restore) putenv(variable.data());
  }
  std::string set[2];
  std::string restore[2] = {"TMPDIR=" + fs::temp_directory_path().string(),
                            "TMP=" + fs::temp_directory_path().string()};
};

TEST(WorkingCopies, LieInADirectoryOfTheProcessThatOnlyTheUserMayEnter) {
  TempDirectory temporary;
  TempDirectory base;
  TemporaryDirectoryVariables variables(temporary.path());
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    ASSERT_TRUE(HostWritesMail(99, {.text = u"private"}));
    // Reading the text keeps the item's working copies until the next item.
    EXPECT_EQ(TessalyGetItemMessageText(0).Owned().View(), u"private");
    size_t copies = 0;
    for (const auto& entry : fs::recursive_directory_iterator(temporary.path())) {
      if (entry.path().filename().string().rfind("~AT", 0) != 0) continue;
      ++copies;
      const fs::path directory = entry.path().parent_path();
      EXPECT_NE(directory, fs::path(temporary.path()).parent_path()) << entry.path();
      const fs::perms others = fs::perms::group_all | fs::perms::others_all;
      EXPECT_EQ(fs::status(directory).permissions() & others, fs::perms::none) << directory;
    }
    EXPECT_GT(copies, 0u);
  });
}

}  // namespace
