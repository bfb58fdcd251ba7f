// A mailbox against other processes: the held index keeps a second process
// out, and a save killed at any instant leaves the last returned save or a
// later one. (The states a killed save leaves are RecoveryTest's.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "IndexSteps.h"
#include "IndexVariants.h"
#include "Killing.h"
#include "MailboxFixture.h"
#include "frame/ContextTable.h"
#include "mailbox/MailboxContext.h"
#include "platform/Threads.h"

namespace quorvel::testing {
namespace {

TEST(MailboxProcessTest, TheHeldIndexKeepsASecondProcessOut) {
  TempDirectory base;
  const auto holder = [&] { return StartHelper(QUORVEL_MAILBOX_HOLDER, {base.path(), "anna"}); };
  const auto release = [](platform::ChildProcess& child, int code) {
    child.CloseInput();
    EXPECT_EQ(child.Wait(), code);
  };
  {
    ASSERT_TRUE(Contexts().AddNew(platform::CurrentThreadId(), nullptr));
    ThreadContext& context = *CallingContext();
    ASSERT_TRUE(OpenContextMailbox(base.path().c_str(), "anna"));
    platform::ChildProcess refused = holder();
    EXPECT_EQ(refused.ReadLine(), "refused");
    release(refused, 1);
    ASSERT_TRUE(OpenContextMailbox(base.path().c_str(), "ben"));  // lets anna's go
    platform::ChildProcess holding = holder();
    EXPECT_EQ(holding.ReadLine(), "open");
    EXPECT_FALSE(OpenContextMailbox(base.path().c_str(), "anna"));
    EXPECT_EQ(context.mailbox, nullptr);  // ben's was closed first
    EXPECT_EQ(context.mailboxItems, nullptr);
    release(holding, 0);
    ASSERT_TRUE(OpenContextMailbox(base.path().c_str(), "anna"));
    EXPECT_EQ(context.mailboxDirectory, base / "anna/mailbox/");
    EXPECT_EQ(context.baseDirectory, base.path());
    Contexts().Remove(platform::CurrentThreadId());
  }
  platform::ChildProcess after = holder();
  EXPECT_EQ(after.ReadLine(), "open");  // the context's end let it go
  release(after, 0);
  EXPECT_EQ(ReadFile(base / "anna/mailbox/Mailbox.inv").size(), 23u) << "read once no process holds it";
}

// A helper saving small changes, killed at a random instant after its "open"
// (in a record's append, the index written out, the journal started anew or
// an open); it says each step's number once its save returned.
using KilledHelpers = MailboxTest;

TEST_F(KilledHelpers, ASmallChangeKilledAtAnyInstantLeavesTheOldOrTheNewIndex) {
  ASSERT_TRUE(Open());
  FillVariant(mailbox.Index(), 0);
  ASSERT_TRUE(mailbox.SaveIndex());
  ASSERT_TRUE(mailbox.CloseIndex(false));
  MailboxIndex expected;
  FillVariant(expected, 0);
  uint32_t steps = 0;
  std::mt19937 random{20261206};
  for (int run = 0; run < 100; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    platform::ChildProcess helper = StartHelper(QUORVEL_INDEX_STEPPER, {directory.path()});
    HelperDeadline deadline(helper);
    ASSERT_EQ(helper.ReadLine(), "open");
    KillAfterSpin(helper, random, 40000);
    deadline.Dismiss();
    EXPECT_EQ(helper.Wait(), -1) << "the helper stopped by itself";
    while (const std::optional<std::string> line = helper.ReadLine()) {
      steps = std::max(steps, static_cast<uint32_t>(std::stoul(*line)));
    }
    Mailbox reopened;
    ASSERT_TRUE(reopened.OpenIndex(directory.path(), true, 1, 0));
    ASSERT_GE(reopened.Index().Count(), kVariantEntries);
    const uint32_t reached = reopened.Index().EntryAt(0).writtenTime;
    ASSERT_GE(reached, steps) << "a save that had returned was lost";
    while (expected.EntryAt(0).writtenTime < reached) TakeStep(expected);
    steps = reached;
    ASSERT_EQ(ContentOf(reopened.Index()), ContentOf(expected));
  }
  std::printf("killed stepping saves reached step %u\n", steps);
}

}  // namespace
}  // namespace quorvel::testing
