// Pupil mails and tutor replies written into a context's mailbox: their
// threads, what the writes pass on, what a refused or failed write leaves.
#include <gtest/gtest.h>

#include "MailboxFixture.h"
#include "mailbox/MailWriting.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

using exchange::PupilMailContent;
using exchange::TutorReplyContent;

const CodedText kReference(1250, WideString(u"lesson \u0159"));

class MailWritingTest : public OpenMailboxTest {
 protected:
  bool Write(uint32_t answered, std::vector<std::string> attachments = {}) {
    PupilMailContent mail;
    mail.message.number = 31;
    mail.message.reference = kReference;
    mail.attachments = std::move(attachments);
    return PupilWriteMail(&context, mail, "3|/out", answered);
  }
  bool Reply(uint32_t answered) {
    return TutorReplyToMail(&context, TutorReplyContent(), answered, "3|/tutor");
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
