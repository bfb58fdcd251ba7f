// Removing items: threads, lists, the outbox queue, ids never given again,
// files gone or stuck, failed saves, refusals, and list texts read.
#include <gtest/gtest.h>

#include <filesystem>

#include "MailboxFixture.h"
#include "mailbox/ItemQueries.h"
#include "mailbox/ItemRemoval.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

class ItemRemovalTest : public OpenMailboxTest {
 protected:
  void Reopen(bool readOnly = false) {
    ASSERT_TRUE(mailbox.CloseIndex(false));
    ASSERT_TRUE(mailbox.OpenIndex(directory.path(), readOnly, 1, 0));
  }
  // A: 1, its replies 2 (with the reply 3) and 4, then the root 5.
  void FileThreads() {
    for (const uint32_t parent : {0u, 1u, 2u, 1u, 0u}) parent ? FileAnswer(parent) : FileMail();
    ASSERT_EQ(Tree(), "1:0 2:1 3:2 4:1 5:0");
  }
  std::string FileOf(uint32_t id) { return mailbox.PathOf(*mailbox.EntryOf(id)); }
};

// A removed item's working copy and id in the queue go with it; a root takes
// its thread along; the index is saved; ids are never given out again.
TEST_F(ItemRemovalTest, ARootGoesWithItsThreadAndRemovedIdsAreNeverGivenAgain) {
  FileThreads();
  mailbox.Index().outboxQueue = {5, 99, 3, 1, 4, 2};  // 99: no longer listed
  ASSERT_NE(mailbox.LoadItem(3, true), nullptr);
  ASSERT_TRUE(RemoveMailAtIndex(&context, 2));  // 3
  EXPECT_EQ(temporary.Files(), Names{}) << "a removed item's working copy goes with it";
  EXPECT_EQ(mailbox.Index().outboxQueue, (std::vector<uint32_t>{5, 1, 4, 2}));
  ASSERT_TRUE(RemoveMailAtIndex(&context, 0));
  EXPECT_EQ(Tree(), "5:0");
  EXPECT_EQ(ItemFiles(), 1u) << "four files deleted";
  EXPECT_EQ(mailbox.Index().outboxQueue, (std::vector<uint32_t>{5}));
  Reopen();
  EXPECT_EQ(Tree(), "5:0") << "the index was saved";
  ASSERT_TRUE(RemoveMailsAtIndexes(&context, "0"));
  EXPECT_TRUE(mailbox.Index().outboxQueue.empty());
  EXPECT_EQ(FileMail(), 6u);
  ASSERT_TRUE(RemoveMailAtIndex(&context, 0));
  Reopen();
  EXPECT_EQ(FileMail(), 7u);
}

TEST_F(ItemRemovalTest, AListRemovesEachIndexAsItWasBeforeAnyRemoval) {
  for (uint32_t id = 1; id <= 6; ++id) ASSERT_EQ(FileMail(), id);
  EXPECT_TRUE(RemoveMailsAtIndexes(&context, " 3 , 1 ,5 "));
  EXPECT_EQ(Tree(), "1:0 3:0 5:0");
  EXPECT_EQ(ItemFiles(), 3u);
  // A parent and its reply: the reply goes first, then the parent.
  ASSERT_EQ(FileAnswer(3), 7u);
  EXPECT_TRUE(RemoveMailsAtIndexes(&context, "1,2"));
  EXPECT_EQ(Tree(), "1:0 5:0");
  // How pieces are read is the list reader's test below.
  EXPECT_FALSE(RemoveMailsAtIndexes(&context, "0x,1")) << "a piece that is not an index";
  EXPECT_EQ(Tree(), "1:0") << "the pieces that are go";
}

TEST_F(ItemRemovalTest, FilesThatAreGoneOrCannotBeDeletedDoNotStopARemoval) {
  FileThreads();
  fs::remove(FileOf(3));
  // A directory where the item file was cannot be deleted as a file.
  const std::string stuck = FileOf(2);
  fs::remove(stuck);
  fs::create_directory(stuck);
  WriteFile(stuck + "/inside", "x");
  ASSERT_TRUE(RemoveMailAtIndex(&context, 1));
  EXPECT_EQ(Tree(), "1:0 4:1 5:0");
  EXPECT_TRUE(fs::is_directory(stuck)) << "left behind, listed nowhere";
  Reopen();
  EXPECT_EQ(Tree(), "1:0 4:1 5:0");
}

TEST_F(ItemRemovalTest, ARemovalWhoseSaveFailsKeepsItsFilesAndSaysSo) {
  FileThreads();
  // Each removal records its files beside the index (one write), then saves.
  {
    platform::FileFaults faults;
    faults.Fail(platform::FileOperation::Write, 2);
    EXPECT_FALSE(RemoveMailAtIndex(&context, 1));
    EXPECT_TRUE(faults.Fired());
  }
  EXPECT_EQ(Tree(), "1:0 4:1 5:0") << "removed in memory";
  EXPECT_EQ(ItemFiles(), 5u) << "the index on disk still lists every file";
  {
    platform::FileFaults faults;
    faults.Fail(platform::FileOperation::Write, 2);
    EXPECT_FALSE(RemoveMailsAtIndexes(&context, "2"));
  }
  EXPECT_EQ(ItemFiles(), 5u);
  ASSERT_TRUE(RemoveMailAtIndex(&context, 0));
  EXPECT_EQ(Tree(), "");
  EXPECT_EQ(ItemFiles(), 3u) << "the files of the last removal only: 2, 3 and 5 stay behind";
}

TEST_F(ItemRemovalTest, NothingIsRemovedWithoutAnItemOrFromAReadOnlyMailbox) {
  FileThreads();
  ASSERT_TRUE(ChangeAttributesAt(&context, 0, 0x0100, 0));
  EXPECT_FALSE(RemoveMailAtIndex(&context, 5));
  EXPECT_FALSE(RemoveMailsAtIndexes(&context, "9,-1"));
  Reopen(true);
  EXPECT_EQ(AttributesAt(&context, 0) & 0x0100, 0x0100) << "saved although nothing was removed";
  std::vector<std::string> files;
  EXPECT_FALSE(RemoveItem(mailbox, 1, files));
  EXPECT_FALSE(RemoveMailAtIndex(&context, 0));
  EXPECT_FALSE(RemoveMailsAtIndexes(&context, "0"));
  EXPECT_EQ(Tree(), "1:0 2:1 3:2 4:1 5:0");
  EXPECT_EQ(ItemFiles(), 5u);
  ASSERT_TRUE(mailbox.CloseIndex(false));
  EXPECT_FALSE(RemoveItem(mailbox, 1, files));
  EXPECT_TRUE(files.empty());
  ThreadContext withoutMailbox;
  EXPECT_FALSE(RemoveMailAtIndex(&withoutMailbox, 0));
  EXPECT_FALSE(RemoveMailsAtIndexes(nullptr, "0"));
}

TEST(IndexList, PiecesAreReadOnlyWhenTheyAreWholeNumbers) {
  struct ListCase {
    const char* text;
    std::vector<int64_t> indexes;
    bool allRead;
  };
  const ListCase cases[] = {
      {"3, 1 ,5", {5, 3, 1}, true},
      {"", {}, true},
      {",", {}, true},
      {" 7 , ,7,,", {7}, true},
      {"+4,-1,04", {4, -1}, true},
      {"x", {}, false},
      {"1x,2", {2}, false},
      {"-,+,2", {2}, false},
      {"1\t,2", {2}, false},
      {"99999999999999999999999", {int64_t{1} << 33}, true},
  };
  for (const ListCase& c : cases) {
    bool allRead = false;
    EXPECT_EQ(IndexesOfList(c.text, allRead), c.indexes) << '"' << c.text << '"';
    EXPECT_EQ(allRead, c.allRead) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace quorvel::testing
