// Filing items (their place, entries, stamps, ids, the working copy), and
// pupil mails and tutor replies written into a context's mailbox.
#include <gtest/gtest.h>

#include "MailboxFixture.h"
#include "mailbox/MailWriting.h"
#include "platform/Clock.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

using FilingTest = OpenMailboxTest;

TEST_F(FilingTest, ANewMailIsStampedDescribedAndQueued) {
  const uint32_t before = platform::UtcSecondsNow();
  CodedTextArray names;
  names.Add(CodedText(1252, WideString(u"Anna")));
  IndexEntry copy;
  copy.outRoutes = {"kept"};
  uint32_t position = 99;
  const uint32_t id = mailbox.FileNewMail(
      NewItem({exchange::kKindPupilMail, u"Tutor \u00D6", 4, 5, true, true}),
      {"smtp|t@x", "file|/share"}, names, &position, &copy);
  ASSERT_EQ(id, 1u);
  EXPECT_EQ(position, 0u);
  const IndexEntry& entry = mailbox.Index().EntryAt(0);
  EXPECT_EQ(std::tie(entry.fileName, entry.messageType, entry.messageFlagA, entry.messageFlagB,
                     entry.attributes, entry.sourceId),
            std::make_tuple("~AT0.qv6", 20u, 4, 5,
                            kItemNotSent | kItemHasAttachments | kItemHasLearningData, id));
  EXPECT_EQ(entry.correspondent, CodedText(1252, WideString(u"Tutor \u00D6")));
  EXPECT_GE(entry.date, before);
  EXPECT_EQ(entry.outRoutes, (std::vector<std::string>{"smtp|t@x", "file|/share"}));
  ASSERT_EQ(entry.nameList.Size(), 1u);
  EXPECT_EQ(mailbox.Index().outboxQueue, std::vector<uint32_t>{id});
  IndexEntry expectedCopy = entry;
  expectedCopy.outRoutes = {"kept"};
  EXPECT_TRUE(copy == expectedCopy);

  const uint32_t reply = mailbox.FileReply(NewItem({exchange::kKindTutorReply, u"Pupil P"}), id,
                                           "smtp|p@x", CodedText(1252, WideString(u"Ben")));
  const IndexEntry& answer = *mailbox.EntryOf(reply);
  EXPECT_EQ(std::tie(answer.attributes, answer.messageType), std::make_tuple(kItemNotSent, 21u));
  EXPECT_EQ(answer.outRoutes, std::vector<std::string>{"smtp|p@x"});
  EXPECT_EQ(answer.nameList.Size(), 1u);
  EXPECT_EQ(mailbox.Index().outboxQueue, (std::vector<uint32_t>{id, reply}));

  // The mailbox's copy carries the stamp; the original is untouched.
  exchange::ExchangeFile stored;
  ASSERT_TRUE(stored.Open(mailbox.PathOf(answer), true, false));
  exchange::ItemStamp stamp;
  EXPECT_TRUE(stamp.Read(stored));
  EXPECT_EQ(std::tie(stamp.itemId, stamp.parentId, stamp.created), std::tie(reply, id, answer.date));
  stored.Close();
  exchange::ExchangeFile original;
  ASSERT_TRUE(original.Open(outside / "item2.qv6", true, false));
  EXPECT_FALSE(original.EnterBlock(exchange::kBlockItemStamp));
  original.Close();
  const uint32_t learning = FileMail({exchange::kKindPupilMail, u"T", 0, 0, false, false, true});
  EXPECT_EQ(mailbox.EntryOf(learning)->attributes, kItemNotSent | kItemHasLearningData)
      << "a learning path alone is learning data";
}

TEST_F(FilingTest, AFailedFilingLeavesNothingButItsUsedId) {
  EXPECT_EQ(FileMail({exchange::kKindPlainTextMessage}), kNoItem);  // no message record
  EXPECT_EQ(mailbox.FileNewMail(outside / "missing.qv6", {}, CodedTextArray()), kNoItem);
  EXPECT_EQ(mailbox.Index().Count(), 0u);
  EXPECT_TRUE(mailbox.Index().outboxQueue.empty());
  EXPECT_EQ(ItemFiles(), 0u);
  EXPECT_EQ(FileMail(), 2u);  // id 1 went with the failed filing
  EXPECT_EQ(mailbox.EntryOf(2)->fileName, "~AT0.qv6");  // its name did not
  EXPECT_TRUE(mailbox.CloseIndex(false));
  ASSERT_TRUE(Open());
  EXPECT_EQ(FileMail(), 3u);
  EXPECT_EQ(FileMail({exchange::kKindTimedMessage}), 4u) << "described as a pupil mail is";
}

TEST_F(FilingTest, ItemFilesTakeTheSmallestFreeName) {
  for (int i = 0; i < 3; ++i) FileMail();
  ASSERT_TRUE(std::filesystem::remove(directory / "~AT1.qv6"));
  mailbox.NameFreed("~AT1.qv6");  // as removing the item does
  EXPECT_EQ(mailbox.EntryOf(FileMail())->fileName, "~AT1.qv6");
  EXPECT_EQ(mailbox.EntryOf(FileMail())->fileName, "~AT3.qv6");
  mailbox.NameFreed("reply.qv6");  // not one of the mailbox's names
  mailbox.NameFreed("~AT99999999999.qv6");
  EXPECT_EQ(mailbox.EntryOf(FileMail())->fileName, "~AT4.qv6");
}

TEST_F(FilingTest, NothingIsFiledBelowDepth255) {
  const std::string item = NewItem();
  uint32_t parent = 0;
  for (int depth = 0; depth <= 255; ++depth) {
    parent = mailbox.FileItem(item, parent, nullptr, nullptr, nullptr, nullptr, true);
    ASSERT_NE(parent, kNoItem);
  }
  EXPECT_EQ(mailbox.EntryOf(parent)->depth, 255);
  EXPECT_EQ(mailbox.FileItem(item, parent, nullptr, nullptr, nullptr, nullptr, true), kNoItem);
  EXPECT_EQ(mailbox.Index().Count(), 256u);
  EXPECT_EQ(ItemFiles(), 256u);
  const uint32_t root = mailbox.FileItem(item, 0, nullptr, nullptr, nullptr, nullptr, true);
  EXPECT_EQ(mailbox.EntryOf(root)->fileName, "~AT256.qv6") << "the refused copy's name is free";
}

TEST_F(FilingTest, TheWorkingCopyLeavesTheStoredFileUntouched) {
  const uint32_t first = FileMail();
  const uint32_t second = FileMail();
  const std::string stored = ReadFile(directory / "~AT0.qv6");
  exchange::ExchangeFile* copy = mailbox.LoadItem(first, false);
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->SetByte(12345, 7));
  uint8_t changed = 0;
  EXPECT_TRUE(mailbox.LoadItem(first, false)->GetByte(12345, changed));
  EXPECT_EQ(changed, 7) << "the same item stays loaded, changes and all";
  EXPECT_EQ(mailbox.WorkingItemId(), first);
  EXPECT_NE(mailbox.LoadItem(second, true), nullptr);  // the first copy goes
  EXPECT_EQ(mailbox.WorkingItemId(), second);
  mailbox.ReleaseItem();
  EXPECT_EQ(mailbox.WorkingItemId(), kNoItem);
  EXPECT_EQ(ReadFile(directory / "~AT0.qv6"), stored);
  EXPECT_EQ(temporary.Files(), Names{});
  EXPECT_EQ(mailbox.LoadItem(77, true), nullptr);
  EXPECT_EQ(temporary.Files(), Names{});
}

const CodedText kReference(1250, WideString(u"lesson \u0159"));

class MailWritingTest : public OpenMailboxTest {
 protected:
  bool Write(uint32_t answered, std::vector<std::string> attachments = {}) {
    exchange::PupilMailContent mail;
    mail.message.number = 31;
    mail.message.reference = kReference;
    mail.attachments = std::move(attachments);
    return PupilWriteMail(&context, mail, "3|/out", answered);
  }
  bool Reply(uint32_t answered) {
    return TutorReplyToMail(&context, exchange::TutorReplyContent(), answered, "3|/tutor");
  }
};

TEST_F(MailWritingTest, MailsAndRepliesLandInTheirThreadsAndTheIndexIsSaved) {
  WriteFile(outside / "essay.txt", "essay");
  ASSERT_TRUE(Write(UINT32_MAX, {outside / "essay.txt"}));
  EXPECT_EQ(SavedCount(), 1u) << "saved before the call returns";
  ASSERT_TRUE(Write(1));  // index 1 = the number of items: a new thread
  ASSERT_TRUE(Reply(0));
  ASSERT_TRUE(Write(1));  // answers the reply
  ASSERT_TRUE(Reply(3));  // answers the second thread's mail
  EXPECT_EQ(Tree(), "1:0 3:1 4:2 2:0 5:1");
  EXPECT_EQ(SavedCount(), 5u);
  EXPECT_EQ(mailbox.Index().outboxQueue, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(temporary.Files(), Names{}) << "filed items leave no temporary file";

  EXPECT_EQ(mailbox.Index().EntryAt(0).outRoutes, std::vector<std::string>{"3|/out"});
  const IndexEntry& reply = mailbox.Index().EntryAt(1);
  EXPECT_EQ(reply.outRoutes, std::vector<std::string>{"3|/tutor"});
  ASSERT_EQ(reply.nameList.Size(), 1u) << "the reference is kept as the reply's name";
  EXPECT_EQ(reply.nameList[0], kReference);
  EXPECT_EQ(mailbox.Index().EntryAt(2).nameList.Size(), 0u) << "a pupil's answer keeps no name";
}

TEST_F(MailWritingTest, AMailThatCannotBeFiledLeavesNothingBehind) {
  ASSERT_TRUE(mailbox.CloseIndex(true));
  ASSERT_TRUE(mailbox.OpenIndex(directory.path(), true, 1, 0));  // read-only: files nothing
  EXPECT_FALSE(Write(UINT32_MAX));
  EXPECT_EQ(temporary.Files(), Names{});
  EXPECT_EQ(mailbox.Index().Count(), 0u);
  EXPECT_EQ(ItemFiles(), 0u);

  // Nor does a mail that answers an item other than a tutor reply.
  ASSERT_TRUE(mailbox.CloseIndex(true));
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Write(UINT32_MAX));
  const uint32_t nextId = mailbox.NextId();
  EXPECT_FALSE(Write(0));
  EXPECT_EQ(Tree(), "1:0");
  EXPECT_EQ(mailbox.NextId(), nextId) << "no id is used up";
  EXPECT_EQ(ItemFiles(), 1u);
  EXPECT_EQ(temporary.Files(), Names{});
}

// A mail is packed once where it stays: its 1 MiB attachment (packing to a
// few KiB) is written once, not again in a copy unpacked for the stamp.
TEST_F(MailWritingTest, AMailIsPackedOnceWhereItStays) {
  std::string lesson;
  while (lesson.size() < (1u << 20)) lesson += "la maison est grande et le jardin fleuri\r\n";
  WriteFile(outside / "lesson.txt", lesson);
  platform::FileFaults faults;
  faults.FillDiskAfter(lesson.size() + lesson.size() / 2);
  ASSERT_TRUE(Write(UINT32_MAX, {outside / "lesson.txt"}));
  EXPECT_FALSE(faults.Fired());
  EXPECT_EQ(ItemFiles(), 1u);
}

TEST_F(MailWritingTest, AnIndexThatCannotBeSavedFailsTheWriteAndKeepsTheOldIndex) {
  ASSERT_TRUE(Write(UINT32_MAX));
  const std::string saved = mailbox.SavedIndexBytes();
  {
    platform::FileFaults faults;
    faults.Fail(platform::FileOperation::Sync, 1);
    EXPECT_FALSE(Write(UINT32_MAX));
    EXPECT_TRUE(faults.Fired());
  }
  EXPECT_EQ(mailbox.Index().Count(), 2u) << "the item is filed; the save failed";
  EXPECT_EQ(mailbox.SavedIndexBytes(), saved);
}

}  // namespace
}  // namespace quorvel::testing
