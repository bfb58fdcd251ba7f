// Working directories of processes sharing one temporary directory: each
// process has its own, a killed one leaves its directory (and the working
// copies in it) behind, and the next process to make one removes it, but
// never the directory of a process that still runs; a process that ends
// normally removes its own.
#include "frame/WorkingDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "../exchange/ItemTest.h"
#include "frame/UniqueNames.h"
#include "platform/ChildProcess.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using Directories = std::set<std::string>;

Directories RunDirectories(const std::string& temporary) {
  Directories found;
  for (const auto& entry : fs::directory_iterator(temporary)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("quorvel-run-", 0) == 0) found.insert(name);
  }
  return found;
}

// A host in another process holding the working copies of an item it read.
platform::ChildProcess StartReader(const TempDirectory& base, const char* user) {
  std::optional<platform::ChildProcess> child =
      platform::ChildProcess::Start(QUORVEL_MAILBOX_HOLDER, {base.path(), user, "read"});
  if (!child) throw std::runtime_error("cannot start the holder");
  EXPECT_EQ(child->ReadLine(), "open");
  return std::move(*child);
}

TEST(WorkingDirectory, AnEndedProcesssIsRemovedByTheNextNeverALiveOnes) {
  TemporaryDirectoryOverride temporary;
  TempDirectory base;
  platform::ChildProcess killed = StartReader(base, "anna");
  const Directories ofKilled = RunDirectories(temporary.path());
  platform::ChildProcess live = StartReader(base, "bert");
  Directories ofLive = RunDirectories(temporary.path());
  for (const std::string& name : ofKilled) ofLive.erase(name);
  ASSERT_EQ(ofKilled.size(), 1u);
  ASSERT_EQ(ofLive.size(), 1u);
  EXPECT_EQ(temporary.Files().size(), 4u) << "each holds an item's two working copies";
  killed.Kill();
  killed.Wait();
  EXPECT_EQ(RunDirectories(temporary.path()).size(), 2u) << "a killed process cleans nothing";

  const std::string mine = WorkingDirectory();
  ASSERT_FALSE(mine.empty());
  Directories expected = ofLive;
  expected.insert(fs::path(mine).parent_path().filename().string());
  EXPECT_EQ(RunDirectories(temporary.path()), expected);
  EXPECT_EQ(temporary.Files().size(), 2u) << "the live process's copies stay";
  EXPECT_EQ(WorkingDirectory(), mine) << "made once";

  live.CloseInput();
  EXPECT_EQ(live.Wait(), 0);
  expected.erase(*ofLive.begin());
  EXPECT_EQ(RunDirectories(temporary.path()), expected) << "an ending process removes its own";
  EXPECT_EQ(temporary.Files(), Names{});
}

}  // namespace
}  // namespace quorvel::testing
