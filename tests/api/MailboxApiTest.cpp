// The mailbox exports as a host calls them: opening (directories, the index,
// re-opening) and the locking mode.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "OnHostThread.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using quorvel::testing::OnHostThread;
using quorvel::testing::ReadFile;
using quorvel::testing::TempDirectory;

TEST(MailboxApi, TheLockingModeAnswersThePreviousOne) {
  std::thread([] { EXPECT_EQ(TessalySetDllLockingMode(3), 0u); }).join();  // no context
  OnHostThread([] {
    EXPECT_EQ(TessalySetDllLockingMode(3), 0u);
    EXPECT_EQ(TessalySetDllLockingMode(1), 3u);
    EXPECT_EQ(TessalySetDllLockingMode(0), 1u);
  });
}

TEST(MailboxApi, OpeningMakesTheDirectoriesAndTheIndex) {
  TempDirectory base;
  const std::string nested = base / "school/pupils";  // no trailing separator
  std::thread([&] { EXPECT_FALSE(TessalyOpenMailBox(nested.c_str(), "anna")); }).join();
  EXPECT_TRUE(std::filesystem::is_directory(nested + "/anna/mailbox"));  // made before the context is sought
  EXPECT_FALSE(std::filesystem::exists(nested + "/anna/mailbox/Mailbox.inv"));

  OnHostThread([&] {
    EXPECT_TRUE(TessalyOpenMailBox(nested.c_str(), "anna"));
    EXPECT_TRUE(TessalyOpenMailBox(nested.c_str(), "anna"));  // the same again: closed first
    EXPECT_TRUE(TessalyOpenMailBox(nested.c_str(), "ben"));
    EXPECT_FALSE(TessalyOpenMailBox(nullptr, "ben"));
  });
  // Each index was written when its mailbox closed: the fresh 23 bytes.
  EXPECT_EQ(ReadFile(nested + "/anna/mailbox/Mailbox.inv").size(), 23u);
  EXPECT_EQ(ReadFile(nested + "/ben/mailbox/Mailbox.inv").size(), 23u);
}

}  // namespace
