// The mailbox through libquorvel.so as hosts use it: item queries and removal, the items'
// files, and what an open trusts of the directory (index bytes from the format's description).
#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>
#include <thread>
#include <type_traits>

#include "../exchange/RecordBytes.h"
#include "ByteCases.h"
#include "HostWrites.h"
#include "OnHostThread.h"
#include "RandomBytes.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;
using Paths = std::vector<std::string>;
namespace fs = std::filesystem;

// Runs `body` on a host thread whose context has the mailbox base/anna open.
template <typename Body>
void InMailbox(const TempDirectory& base, Body body) {
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    body();
  });
}

// Each item as the queries answer it: "id parent-id parent-index depth kind attributes text"
// (the text read first: reading marks the item read; the host takes the text over).
std::string Items() {
  std::string shown;
  for (uint32_t i = 0; const IndexEntry* entry = TessalyGetItemAtIndex(i); ++i) {
    const uint32_t id = entry->sourceId;
    EXPECT_EQ(TessalyGetItemAtId(id), entry);
    EXPECT_EQ(TessalyGetSourceId(id), static_cast<int32_t>(id));
    EXPECT_TRUE(TessalyGetDate(i).GetTime() == entry->date && entry->date != 0);
    const WideString text = TessalyGetItemMessageText(i).Owned();
    const int32_t values[] = {static_cast<int32_t>(id),  TessalyGetParentId(id),
                              TessalyGetParentIndex(id),  entry->depth,
                              TessalyGetMessageType(i),   TessalyGetItemAttributes(i)};
    for (const int32_t value : values) shown += std::to_string(value) + " ";
    for (const char16_t c : text.View()) shown += c < 128 ? std::string(1, char(c)) : "<U>";
    shown += "\n";
  }
  return shown;
}

// A name the host puts into a handed-out entry never makes a removal delete a file outside the
// mailbox (names leaving it in the index file are the index cases' damage).
TEST(ItemQueriesApi, ThreadsThreeDeepAnswerTheirParentsTextsAndAttributes) {
  TempDirectory base;
  WriteFile(base / "victim.qv6", "not the mailbox's");
  InMailbox(base, [&] {
    // Mail 1 <- reply 2 <- mail 3 and reply 4 under 1; mail 5. Ids are source ids.
    ASSERT_TRUE(HostWritesMail(99, {.text = u"first mail"}));
    ASSERT_TRUE(HostWritesReply(0, u"first reply"));
    ASSERT_TRUE(HostWritesMail(1, {.text = u"mail \u00E0 reply"}));
    ASSERT_TRUE(HostWritesReply(0, u"second reply"));
    ASSERT_TRUE(HostWritesMail(99, {.text = u"second mail"}));
    ASSERT_TRUE(TessalyChangeItemAttributes(2, 0x0001, 0));
    ASSERT_EQ(TessalyGetItemAttributes(2), 0x0003);
    // Written here: not yet sent (2), and read once the text is.
    EXPECT_EQ(Items(),
              "1 -2 -2 0 20 2 first mail\n2 1 0 1 21 2 first reply\n3 2 1 2 20 2 mail <U> reply\n"
              "4 1 0 1 21 2 second reply\n5 -2 -2 0 20 2 second mail\n");
    EXPECT_TRUE(TessalyGetItemMessageText(5).Owned().IsEmpty());
    // Reading saved the index; a change alone is saved when the mailbox closes.
    ASSERT_TRUE(TessalyChangeItemAttributes(0, 0x0040, 0));
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    EXPECT_EQ(TessalyGetItemAttributes(2), 0x0002);
    EXPECT_EQ(TessalyGetItemAttributes(0), 0x0042);
    ASSERT_TRUE(TessalyChangeItemAttributes(4, 0x0100, 0x0002));
  });
  InMailbox(base, [&] {
    EXPECT_EQ(TessalyGetItemAttributes(4), 0x0100);
    ASSERT_TRUE(TessalyRemoveMailsAtIndexes("1"));  // reply 2 with mail 3
    EXPECT_EQ(Items(), "1 -2 -2 0 20 66 first mail\n4 1 0 1 21 2 second reply\n"
                       "5 -2 -2 0 20 256 second mail\n");
    EXPECT_EQ(TessalyGetParentId(3), -1) << "removed";
    EXPECT_EQ(TessalyGetItemAtId(2), nullptr);
    TessalyGetItemAtIndex(0)->fileName = "../../victim.qv6";
    EXPECT_TRUE(TessalyRemoveMailAtIndex(0));
  });
  EXPECT_TRUE(fs::exists(base / "victim.qv6"));
}

// The host's time class has its own copy constructor: returned through a hidden pointer.
static_assert(sizeof(TimeValue) == 4 && !std::is_trivially_copyable_v<TimeValue>);

void ExpectNoneValues(const char* situation) {
  SCOPED_TRACE(situation);
  EXPECT_EQ(TessalyGetItemAtIndex(0), nullptr);
  EXPECT_EQ(TessalyGetItemAtId(1), nullptr);
  EXPECT_EQ(TessalyGetSourceId(1), -1);
  EXPECT_EQ(TessalyGetParentId(1), -1);
  EXPECT_EQ(TessalyGetParentIndex(1), -1);
  EXPECT_EQ(TessalyGetItemAttributes(0), -1);
  EXPECT_FALSE(TessalyChangeItemAttributes(0, 1, 0));
  EXPECT_EQ(TessalyGetDate(0).GetTime(), 0u);
  EXPECT_EQ(TessalyGetMessageType(0), 255);
  EXPECT_TRUE(TessalyGetItemMessageText(0).Owned().IsEmpty());
  EXPECT_FALSE(TessalyRemoveMailAtIndex(0));
  EXPECT_FALSE(TessalyRemoveMailsAtIndexes("0"));
  EXPECT_EQ(TessalyGetNbAttachments(0), -1);
  EXPECT_FALSE(TessalyGetAttachment(0, 0, nullptr, nullptr));
  EXPECT_FALSE(TessalyGetUserDiagFile(0, 0, nullptr, nullptr));
  EXPECT_FALSE(TessalyGetUserOptionsUpdFile(0, nullptr, nullptr));
  EXPECT_FALSE(HostWritesReply(0));
  const Paths recipients = {"3|/nowhere"};
  EXPECT_FALSE(TessalyAddNewMail("/nowhere.qv6", &recipients, nullptr));
}

// Opening makes the directories (also without a context) and, at the close, the index; without
// a context nothing is written, registered or received either.
TEST(ItemQueriesApi, EveryQueryAnswersItsNoneValueUntilAMailboxIsOpen) {
  TempDirectory base;
  const std::string nested = base / "school/pupils";  // no trailing separator
  std::thread([&] {
    ExpectNoneValues("no context");
    EXPECT_FALSE(HostWritesMail(0));
    EXPECT_FALSE(TessalyOpenMailBox(nested.c_str(), "anna"));
    EXPECT_EQ(TessalySetDllLockingMode(3), 0u);
    TessalyAddProtocolFileIn("/tmp");
    TessalyAddProtocolPopIn("127.0.0.1", 110, "u", "p");
    TessalyAddProtocolHttpIn("a", 80, "b");
    EXPECT_FALSE(TessalyReceiveMails());
  }).join();
  EXPECT_TRUE(fs::is_directory(nested + "/anna/mailbox"));
  EXPECT_FALSE(fs::exists(nested + "/anna/mailbox/Mailbox.inv"));
  WriteFile(base / "file", "not a directory");
  OnHostThread([&] {
    ExpectNoneValues("no mailbox");
    EXPECT_FALSE(TessalyReceiveMails());
    EXPECT_FALSE(TessalyOpenMailBox((base / "file").c_str(), "anna"));
    EXPECT_FALSE(TessalyOpenMailBox(nullptr, "anna"));
    ExpectNoneValues("the mailbox failed to open");
    EXPECT_EQ(TessalySetDllLockingMode(3), 0u) << "the mode before";
    EXPECT_EQ(TessalySetDllLockingMode(1), 3u);
    EXPECT_EQ(TessalySetDllLockingMode(0), 1u);
    ASSERT_TRUE(TessalyOpenMailBox(nested.c_str(), "anna"));
    ExpectNoneValues("an empty mailbox");
    EXPECT_TRUE(TessalyOpenMailBox(nested.c_str(), "anna"));  // the same again: closed first
    EXPECT_TRUE(TessalyOpenMailBox(nested.c_str(), "ben"));
  });
  // Each index was written when its mailbox closed: the fresh 23 bytes.
  EXPECT_EQ(ReadFile(nested + "/anna/mailbox/Mailbox.inv").size(), 23u);
  EXPECT_EQ(ReadFile(nested + "/ben/mailbox/Mailbox.inv").size(), 23u);
}

// TessalyGetAttachment and the getters of the learning-data lists.
using ListGetter = bool (*)(uint32_t, int32_t, CodedText*, const char*);

// Every file of a list of item 0 comes back with its name and bytes, and nothing past it.
void ExpectList(const TempDirectory& dir, ListGetter get,
                const std::vector<std::pair<std::u16string, std::string>>& files) {
  for (size_t i = 0; i < files.size(); ++i) {
    CodedText name;
    const std::string target = dir / "extracted";
    ASSERT_TRUE(get(0, static_cast<int32_t>(i), &name, target.c_str())) << i;
    EXPECT_EQ(name.codePage, 65001);
    EXPECT_EQ(name.text.View(), files[i].first);
    EXPECT_TRUE(ReadFile(target) == files[i].second) << "file " << i << " differs";
  }
  CodedText untouched(1250, WideString(u"kept"));
  EXPECT_FALSE(get(0, static_cast<int32_t>(files.size()), &untouched, nullptr));
  EXPECT_FALSE(get(0, -1, &untouched, nullptr));
  EXPECT_EQ(untouched.text.View(), u"kept");
}

// The five learning-data counts of item 0.
std::vector<uint16_t> UserDataCounts() {
  uint16_t c[5] = {9, 9, 9, 9, 9};
  EXPECT_TRUE(TessalyGetNbUserData(0, &c[0], &c[1], &c[2], &c[3], &c[4]));
  return std::vector<uint16_t>(c, c + 5);
}

// A data case sealed here.
std::string SealedCase(const std::string& name) {
  const std::string path = std::string(QUORVEL_TEST_DATA) + "/items/" + name + ".bytes";
  return Resealed(ParseBytes(ReadCaseFile(path)));
}

TEST(ItemFiles, AttachmentsAndLearningDataOfEverySizeComeBack) {
  TempDirectory base, dir;
  const std::string host = dir / "host.qv6";
  WriteFile(host, SealedCase("host-built-mail"));
  const std::string big = RandomBytes(5 * 1024 * 1024, 7919), odd("\xFF\x00\xFE", 3);
  const std::string euro = dir / "\xC3\xBC" "bung \xE2\x82\xAC.txt";  // "übung €.txt"
  const std::pair<std::string, std::string> files[] = {
      {"one.txt", "1"}, {"big.bin", big}, {"empty.bin", ""}, {"t\xC3\xA9.dat", "tracking"},
      {"diag.dat", "diagnostic"}, {"options.ini", "[options]"}};
  for (const auto& [name, content] : files) WriteFile(dir / name, content);
  WriteFile(euro, odd);
  InMailbox(base, [&] {
    ASSERT_TRUE(HostWritesMail(
        UINT32_MAX, {.attachments = {dir / "one.txt", dir / "big.bin", euro, dir / "empty.bin"},
                     .tracking = {dir / "t\xC3\xA9.dat"},
                     .diagnostic = {dir / "diag.dat"},
                     .optionsIni = dir / "options.ini"}));
    EXPECT_EQ(TessalyGetNbAttachments(0), 3) << "the empty file is not stored";
    ExpectList(dir, TessalyGetAttachment,
               {{u"one.txt", "1"}, {u"big.bin", big}, {u"\u00FCbung \u20AC.txt", odd}});
    EXPECT_TRUE(TessalyGetAttachment(0, 2, nullptr, nullptr));
    EXPECT_FALSE(TessalyGetAttachment(0, 0, nullptr, (dir / "no-such-dir/x").c_str()))
        << "an extraction that fails fails the call";
    EXPECT_EQ(UserDataCounts(), (std::vector<uint16_t>{1, 1, 1, 0, 0}));
    ExpectList(dir, TessalyGetUserTrackingFile, {{u"t\u00E9.dat", "tracking"}});
    ExpectList(dir, TessalyGetUserDiagFile, {{u"diag.dat", "diagnostic"}});
    ExpectList(dir, TessalyGetUserLearningPathFile, {});
    CodedText name;
    ASSERT_TRUE(TessalyGetUserOptionsIniFile(0, &name, (dir / "ini").c_str()));
    EXPECT_EQ(name, CodedText(1252, WideString(u"options.ini")));
    EXPECT_EQ(ReadFile(dir / "ini"), "[options]");
    EXPECT_FALSE(TessalyGetUserOptionsUpdFile(0, &name, nullptr));
    // A pupil mail as a host builds it: a learning-path file and "options.upd" under another name.
    ASSERT_TRUE(TessalyRemoveMailAtIndex(0));
    const Paths recipients = {"3|/nowhere", "3|/elsewhere"}, none;
    EXPECT_FALSE(TessalyAddNewMail(host.c_str(), nullptr, nullptr));
    EXPECT_FALSE(TessalyAddNewMail(host.c_str(), &none, nullptr));
    EXPECT_FALSE(TessalyAddNewMail((dir / "missing.qv6").c_str(), &recipients, nullptr));
    ASSERT_TRUE(TessalyAddNewMail(host.c_str(), &recipients, nullptr));
    EXPECT_EQ(ReadFile(host), SealedCase("host-built-mail")) << "the host's file stays";
    EXPECT_EQ(TessalyGetNbAttachments(0), 0);
    EXPECT_EQ(UserDataCounts(), (std::vector<uint16_t>{0, 0, 0, 1, 1}));
    EXPECT_TRUE(TessalyGetNbUserData(0, nullptr, nullptr, nullptr, nullptr, nullptr));
    ExpectList(dir, TessalyGetUserLearningPathFile, {{u"parcours \u00E9.lp", "lp"}});
    ExpectList(dir, TessalyGetUserTrackingFile, {});
    ASSERT_TRUE(TessalyGetUserOptionsUpdFile(0, &name, (dir / "upd").c_str()));
    EXPECT_EQ(name, CodedText(1252, WideString(u"options.upd"))) << "the fixed name, not mine.upd";
    EXPECT_EQ(ReadFile(dir / "upd"), "upd");
    EXPECT_FALSE(TessalyGetUserOptionsIniFile(0, &name, nullptr));
  });
}

TEST(ItemFiles, APupilMailAnswersOnlyATutorReplyAndATutorOnlyAPupilMail) {
  TempDirectory base;
  InMailbox(base, [&] {
    ASSERT_TRUE(HostWritesMail(0)) << "an index equal to the number of items: a new thread";
    ASSERT_TRUE(HostWritesMail(UINT32_MAX));
    EXPECT_FALSE(HostWritesReply(2)) << "no item there";
    ASSERT_TRUE(HostWritesReply(0));  // filed under the first mail
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
  for (const std::string name : {"tutor-reply", "tutor-reply-incomplete"}) {
    WriteFile(dir / (name + ".qv6"), SealedCase(name));
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

// A removed item whose file cannot be deleted (here: read-only) is never filed again; an
// open deletes the file once it can.
TEST(IndexTrustApi, ARemovedItemWhoseFileStaysNeverComesBack) {
  TempDirectory base;
  InMailbox(base, [&] {
    ASSERT_TRUE(HostWritesMail(0, {.text = u"removed"}));
    ASSERT_TRUE(HostWritesMail(1, {.text = u"kept"}));
    const std::string stuck = base / ("anna/mailbox/" + TessalyGetItemAtIndex(0)->fileName);
    fs::permissions(stuck, fs::perms::owner_read);
    EXPECT_TRUE(TessalyRemoveMailAtIndex(0));
    for (int open = 0; open < 3; ++open) {
      if (open == 2) fs::permissions(stuck, fs::perms::owner_all);
      ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
      EXPECT_EQ(TessalyGetItemAtIndex(1), nullptr) << "open " << open;
      EXPECT_EQ(TessalyGetItemAtId(2), TessalyGetItemAtIndex(0));
      EXPECT_EQ(fs::exists(stuck), open < 2);
    }
  });
  EXPECT_FALSE(fs::exists(base / "anna/mailbox/Mailbox.inv.new")) << "deleted at close";
}

// A flipped byte in the id of a sealed index leaves it well-formed; the seal tells, the index
// is rebuilt and its bytes kept aside. A seal that does not read vouches for nothing.
TEST(IndexTrustApi, TheSealTellsAnIndexChangedBehindTheLibrary) {
  TempDirectory base;
  const std::string index = base / "anna/mailbox/Mailbox.inv";
  InMailbox(base, [&] { ASSERT_TRUE(HostWritesMail(0)); });
  std::string bytes = ReadFile(index);
  bytes[21 + 12 + 3] = '\xFF';  // the id: 0xFF000001
  for (const bool sealReads : {true, false}) {
    SCOPED_TRACE(sealReads ? "sealed" : "the seal does not read");
    if (!sealReads) {
      std::string seal = ReadFile(index + ".sum");
      seal[5] ^= 1;
      WriteFile(index + ".sum", seal);
    }
    WriteFile(index, bytes);
    InMailbox(base, [&] { EXPECT_EQ(TessalyGetItemAtId(1) != nullptr, sealReads); });
  }
  EXPECT_EQ(ReadFile(base / "anna/mailbox/Mailbox-damaged-0.inv"), bytes);
}

TEST(UnsentRecoveryApi, AnItemNotYetSentStaysQueuedWhateverBecameOfTheIndex) {
  const std::vector<std::vector<std::string>> cases = CaseTable("unsent-recovery/damages.txt");
  for (const std::vector<std::string>& row : cases) {
    SCOPED_TRACE(row[0]);
    const std::string action = row[0].substr(0, row[0].find(' '));
    const size_t at = std::stoul(row[0].substr(action.size()));
    TempDirectory base, shared;
    const std::string index = base / "anna/mailbox/Mailbox.inv", seal = index + ".sum";
    const std::string outbox = base / "anna/mailbox/Mailbox.outbox";
    HostMail mail{.text = u"sent before", .route = "3|" + shared.path()};
    std::string older[2];  // the index and its seal once A was sent
    for (const bool sent : {true, false}) {
      InMailbox(base, [&] {
        ASSERT_TRUE(HostWritesMail(UINT32_MAX, mail));
        EXPECT_TRUE(!sent || TessalySendMails());
      });
      if (sent) older[0] = ReadFile(index), older[1] = ReadFile(seal);
      if (sent && action == "torn") WriteFile(outbox, ReadFile(outbox) + "torn");
      mail.text = u"not yet sent";
    }
    std::string bytes = ReadFile(index);
    ASSERT_GT(bytes.size(), 60u);
    ASSERT_TRUE(action == "flip" || action == "cut" || action == "gone" || action == "older" ||
                action == "torn");
    if (action == "flip") bytes[at] = static_cast<char>(~bytes[at]);
    if (action == "cut") bytes.resize(at);
    if (action == "older") bytes = older[0], WriteFile(seal, older[1]);
    if (action == "gone" || action == "torn") fs::remove(index);
    if (action != "gone" && action != "torn") WriteFile(index, bytes);
    InMailbox(base, [&] {
      ASSERT_NE(TessalyGetItemAtIndex(1), nullptr);
      EXPECT_EQ(TessalyGetItemAttributes(0) & kItemNotSent, 0) << "sent";
      EXPECT_EQ(TessalyGetItemAttributes(1) & kItemNotSent, kItemNotSent) << "not yet sent";
      EXPECT_EQ(TessalyGetItemAtIndex(1)->outRoutes, std::vector<std::string>{mail.route});
      ASSERT_TRUE(TessalySendMails());
      EXPECT_EQ(TessalyGetItemAttributes(1) & kItemNotSent, 0) << "sent now";
    });
    EXPECT_EQ(std::distance(fs::directory_iterator(shared.path()), fs::directory_iterator()), 2)
        << "B went, A did not go again";
  }
  EXPECT_GT(cases.size(), 5u);
}

// Opens and closes the mailbox; answers how many items it lists.
uint32_t OpenCount(const TempDirectory& base) {
  uint32_t count = 0;
  InMailbox(base, [&] {
    while (TessalyGetItemAtIndex(count) != nullptr) ++count;
  });
  return count;
}

TEST(ListedItemsApi, AnItemFilePutIntoTheMailboxIsFiledWhateverTheDirectorysTime) {
  for (const bool keepTime : {false, true}) {
    SCOPED_TRACE(keepTime ? "the directory's time put back" : "as copied");
    TempDirectory base;
    const fs::path mailbox = base / "anna/mailbox";
    std::string bytes;
    InMailbox(base, [&] {
      ASSERT_TRUE(HostWritesMail(0));
      bytes = ReadFile((mailbox / "~AT0.qv6").string());
      ASSERT_TRUE(TessalyRemoveMailAtIndex(0));
    });
    ASSERT_FALSE(bytes.empty());
    ASSERT_FALSE(fs::exists(mailbox / "~AT0.qv6"));
    ASSERT_EQ(OpenCount(base), 0u);
    const fs::file_time_type time = fs::last_write_time(mailbox);
    WriteFile((mailbox / "~AT9.qv6").string(), bytes);
    if (!keepTime) {
      EXPECT_EQ(OpenCount(base), 1u) << "a new file changes the directory's time";
      continue;
    }
    std::error_code notSet;
    fs::last_write_time(mailbox, time, notSet);
    if (notSet) GTEST_SKIP() << "the directory's time cannot be put back: " << notSet.message();
    uint32_t opens = 1;
    while (OpenCount(base) == 0 && opens < 100) ++opens;
    EXPECT_GT(opens, 1u) << "an unchanged directory is not listed";
    EXPECT_LE(opens, 32u) << "but listed at least every 32nd open";
  }
}

}  // namespace
