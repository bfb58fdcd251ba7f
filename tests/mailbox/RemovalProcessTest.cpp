// Removals killed at any instant: the index on disk never names a deleted
// item file, whatever moment a crash chose.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "MailboxFixture.h"
#include "platform/ChildProcess.h"

namespace quorvel::testing {
namespace {

class RemovalProcessTest : public MailboxTest {};

// The helper removes the first item and files a new one, over and over; it
// is killed at a random instant, many times. Every item the reopened index
// lists still has its file, and no item went missing beyond the one being
// replaced.
TEST_F(RemovalProcessTest, ARemovalKilledAtAnyInstantLeavesNoListedItemWithoutItsFile) {
  constexpr uint32_t kItems = 20;
  ASSERT_TRUE(Open());
  for (uint32_t i = 0; i < kItems; ++i) ASSERT_NE(FileMail(), kNoItem);
  ASSERT_TRUE(mailbox.CloseIndex(true));
  const std::string item = NewItem();
  std::mt19937 random(11);
  std::uniform_int_distribution<int> microseconds(0, 40000);
  for (int run = 0; run < 100; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    {
      std::optional<platform::ChildProcess> remover =
          platform::ChildProcess::Start(QUORVEL_ITEM_REMOVER, {directory.path(), item, std::to_string(kItems)});
      ASSERT_TRUE(remover);
      ASSERT_EQ(remover->ReadLine(), "open");
      // Not a wait for anything: the instant of the kill is what varies.
      const auto killAt =
          std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds(random));
      while (std::chrono::steady_clock::now() < killAt) {
      }
      remover->Kill();
      EXPECT_EQ(remover->Wait(), -1) << "the helper stopped by itself";
    }
    Mailbox reopened;
    ASSERT_TRUE(reopened.OpenIndex(directory.path(), true, 1, 0));
    ASSERT_GE(reopened.Index().Count(), kItems - 1);
    for (uint32_t i = 0; i < reopened.Index().Count(); ++i) {
      const std::string path = reopened.PathOf(reopened.Index().EntryAt(i));
      ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path << " is listed but gone";
    }
  }
}

}  // namespace
}  // namespace quorvel::testing
