// Filing items: their entries and stamps, and a written mail packed once.
// (The rest: tests/data/mailbox-scripts.)
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

// A mail is packed once where it stays: its 1 MiB attachment (packing to a
// few KiB) is written once, not again in a copy unpacked for the stamp.
TEST_F(FilingTest, AWrittenMailIsPackedOnceWhereItStays) {
  std::string lesson;
  while (lesson.size() < (1u << 20)) lesson += "la maison est grande et le jardin fleuri\r\n";
  WriteFile(outside / "lesson.txt", lesson);
  exchange::PupilMailContent mail;
  mail.attachments = {outside / "lesson.txt"};
  platform::FileFaults faults;
  faults.FillDiskAfter(lesson.size() + lesson.size() / 2);
  ASSERT_TRUE(PupilWriteMail(&context, mail, "3|/out", UINT32_MAX));
  EXPECT_FALSE(faults.Fired());
  EXPECT_EQ(ItemFiles(), 1u);
}

}  // namespace
}  // namespace quorvel::testing
