// Filing items: where they land in the tree, what their entries and stamps
// record, ids, and the working copy through which an item is read.
#include <gtest/gtest.h>

#include <filesystem>

#include "exchange/ItemStamp.h"
#include "MailboxFixture.h"
#include "platform/Clock.h"

namespace quorvel::testing {
namespace {

class FilingTest : public MailboxTest {
 protected:
  FilingTest() { EXPECT_TRUE(Open()); }
};

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

}  // namespace
}  // namespace quorvel::testing
