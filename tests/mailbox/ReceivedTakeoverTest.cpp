// A received file that lies on the mailbox's file system becomes its item by
// a rename (the item file is the received file itself); one that is not an
// item, or is copied, stays where it is.
#include <gtest/gtest.h>

#include "MailboxFixture.h"
#include "ReceivedItems.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

class ReceivedTakeoverTest : public OpenMailboxTest {};

TEST_F(ReceivedTakeoverTest, ATakenFileIsTheItemAnyOtherStays) {
  const struct {
    bool item;
    bool take;
  } cases[] = {{true, true}, {true, false}, {false, true}};
  uint32_t senderId = 70;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.item) + std::to_string(c.take));
    const std::string path = directory / "~AT9.tmp";
    if (c.item) {
      WriteSentItem(path, {.kind = 20, .number = 7}, payload, senderId++, 0);
    } else {
      WriteFile(path, "not an item");
    }
    // A second name of the received file tells whether the item is that file.
    const std::filesystem::path same = outside / "same";
    std::filesystem::remove(same);
    std::filesystem::create_hard_link(path, same);
    bool notAnItem = false;
    uint32_t position = 0;
    const uint32_t id = mailbox.ImportExchangeFile(path, &position, nullptr, nullptr, &notAnItem, c.take);
    EXPECT_EQ(id != kNoItem, c.item);
    EXPECT_EQ(notAnItem, !c.item);
    EXPECT_EQ(std::filesystem::exists(path), !(c.item && c.take));
    if (id != kNoItem) {
      const std::string filed = mailbox.PathOf(mailbox.Index().EntryAt(position));
      EXPECT_EQ(std::filesystem::equivalent(filed, same), c.take);
      EXPECT_EQ(ReadFile(filed).size(), std::filesystem::file_size(filed));
    }
    std::filesystem::remove(path);
  }
}

// Its bytes were written when they arrived: reading what the item is, and
// taking it, writes less than the item holds (only its key, to the keys
// file), so it is filed on a disk with no room for a copy of it.
TEST_F(ReceivedTakeoverTest, ATakenItemIsFiledWithoutWritingItsBytesAgain) {
  const std::string path = directory / "~AT9.tmp";
  WriteSentItem(path, {.kind = 20, .attachment = true, .number = 7}, payload, 70, 0);
  const uint64_t size = std::filesystem::file_size(path);
  platform::FileFaults faults;
  faults.FillDiskAfter(size - 1);
  uint32_t position = 0;
  EXPECT_NE(mailbox.ImportExchangeFile(path, &position, nullptr, nullptr, nullptr, true), kNoItem);
  EXPECT_FALSE(faults.Fired());
  EXPECT_EQ(mailbox.Index().EntryAt(position).messageType, 20);
}

}  // namespace
}  // namespace quorvel::testing
