// A mailbox against other processes: the held index keeps a second process
// out, and a save killed at any instant leaves the old or the new index.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "IndexVariants.h"
#include "MailboxFixture.h"
#include "frame/ContextTable.h"
#include "mailbox/MailboxContext.h"
#include "platform/ChildProcess.h"
#include "platform/Threads.h"

namespace quorvel::testing {
namespace {

platform::ChildProcess Start(const char* program, const std::vector<std::string>& arguments) {
  std::optional<platform::ChildProcess> child = platform::ChildProcess::Start(program, arguments);
  if (!child) throw std::runtime_error(std::string("cannot start ") + program);
  return std::move(*child);
}

class ContextHolder {
 public:
  ContextHolder() { Contexts().AddNew(platform::CurrentThreadId(), nullptr); }
  ContextHolder(const ContextHolder&) = delete;
  ContextHolder& operator=(const ContextHolder&) = delete;
  ~ContextHolder() { Contexts().Remove(platform::CurrentThreadId()); }
  ThreadContext& operator*() const { return *CallingContext(); }
};

TEST(MailboxProcessTest, TheHeldIndexKeepsASecondProcessOut) {
  TempDirectory base;
  const std::string index = base / "anna/mailbox/Mailbox.inv";
  {
    ContextHolder context;
    ASSERT_TRUE(OpenContextMailbox(base.path().c_str(), "anna"));
    platform::ChildProcess refused = Start(QUORVEL_MAILBOX_HOLDER, {base.path(), "anna"});
    EXPECT_EQ(refused.ReadLine(), "refused");
    refused.CloseInput();
    EXPECT_EQ(refused.Wait(), 1);

    ASSERT_TRUE(OpenContextMailbox(base.path().c_str(), "ben"));  // lets anna's go
    platform::ChildProcess holder = Start(QUORVEL_MAILBOX_HOLDER, {base.path(), "anna"});
    EXPECT_EQ(holder.ReadLine(), "open");
    EXPECT_FALSE(OpenContextMailbox(base.path().c_str(), "anna"));
    EXPECT_EQ((*context).mailbox, nullptr);  // ben's was closed first
    EXPECT_EQ((*context).mailboxItems, nullptr);
    holder.CloseInput();
    EXPECT_EQ(holder.Wait(), 0);
    ASSERT_TRUE(OpenContextMailbox(base.path().c_str(), "anna"));
    EXPECT_EQ((*context).mailboxDirectory, base / "anna/mailbox/");
    EXPECT_EQ((*context).baseDirectory, base.path());
  }
  platform::ChildProcess after = Start(QUORVEL_MAILBOX_HOLDER, {base.path(), "anna"});
  EXPECT_EQ(after.ReadLine(), "open");  // the context's end let it go
  after.CloseInput();
  EXPECT_EQ(after.Wait(), 0);
  EXPECT_EQ(ReadFile(index).size(), 23u) << "read once no process holds it";
}

// Kills the saver at a random instant of its endless saves, many times; each
// reopen must find one of the two complete variants.
TEST(MailboxProcessTest, ASaveKilledAtAnyInstantLeavesTheOldOrTheNewIndex) {
  TemporaryDirectoryOverride temporary;
  TempDirectory directory;
  MailboxIndex variants[2];
  FillVariant(variants[0], 0);
  FillVariant(variants[1], 1);
  {
    Mailbox mailbox;
    ASSERT_TRUE(mailbox.OpenIndex(directory.path(), false, 1, 0));
    FillVariant(mailbox.Index(), 0);
    ASSERT_TRUE(mailbox.SaveIndex());
  }
  std::mt19937 random(20261206);
  std::uniform_int_distribution<int> microseconds(0, 60000);
  int found[2] = {0, 0};
  for (int run = 0; run < 200; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    {
      platform::ChildProcess saver = Start(QUORVEL_INDEX_SAVER, {directory.path()});
      ASSERT_EQ(saver.ReadLine(), "open");
      // Not a wait for anything: the instant of the kill is what varies.
      const auto killAt = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds(random));
      while (std::chrono::steady_clock::now() < killAt) {
      }
      saver.Kill();
      EXPECT_EQ(saver.Wait(), -1);
    }
    Mailbox mailbox;
    ASSERT_TRUE(mailbox.OpenIndex(directory.path(), true, 1, 0));
    const std::string content = ContentOf(mailbox.Index());
    const bool old = content == ContentOf(variants[0]);
    const bool fresh = content == ContentOf(variants[1]);
    ASSERT_TRUE(old || fresh) << "an index of " << mailbox.Index().Count() << " entries";
    ++found[fresh ? 1 : 0];
  }
  EXPECT_FALSE(std::filesystem::exists(directory / "Mailbox-damaged-0.inv"));
  std::printf("killed saves left variant 0 %d times, variant 1 %d times\n", found[0], found[1]);
}

}  // namespace
}  // namespace quorvel::testing
