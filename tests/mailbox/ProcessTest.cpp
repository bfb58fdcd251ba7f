// A mailbox against other processes: the held index keeps a second process
// out, and saves, small changes and removals killed at any instant leave a
// complete index of the last save that returned or of a later one.
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

// A helper that works on the fixture's mailbox directory until it is killed
// at a random instant after its "open", many times; `check` then looks at
// the reopened index (and reads the rest of the helper's output).
class KilledHelpers : public MailboxTest {
 protected:
  void SaveVariantZero() {
    ASSERT_TRUE(Open());
    FillVariant(mailbox.Index(), 0);
    ASSERT_TRUE(mailbox.SaveIndex());
    ASSERT_TRUE(mailbox.CloseIndex(false));
  }
  template <typename Check>
  void KillRepeatedly(const char* program, const std::vector<std::string>& arguments, int runs,
                      int mostMicroseconds, Check check) {
    for (int run = 0; run < runs && !HasFatalFailure(); ++run) {
      SCOPED_TRACE("run " + std::to_string(run));
      platform::ChildProcess helper = StartHelper(program, arguments);
      HelperDeadline deadline(helper);
      ASSERT_EQ(helper.ReadLine(), "open");
      KillAfterSpin(helper, random, mostMicroseconds);
      deadline.Dismiss();
      EXPECT_EQ(helper.Wait(), -1) << "the helper stopped by itself";
      Mailbox reopened;
      ASSERT_TRUE(reopened.OpenIndex(directory.path(), true, 1, 0));
      check(reopened, helper);
    }
  }

  std::mt19937 random{20261206};
};

TEST_F(KilledHelpers, ASaveKilledAtAnyInstantLeavesTheOldOrTheNewIndex) {
  SaveVariantZero();
  MailboxIndex variants[2];
  FillVariant(variants[0], 0);
  FillVariant(variants[1], 1);
  int found[2] = {0, 0};
  KillRepeatedly(QUORVEL_INDEX_SAVER, {directory.path()}, 200, 60000, [&](Mailbox& m, auto&) {
    const std::string content = ContentOf(m.Index());
    const bool fresh = content == ContentOf(variants[1]);
    ASSERT_TRUE(fresh || content == ContentOf(variants[0])) << m.Index().Count() << " entries";
    ++found[fresh ? 1 : 0];
  });
  EXPECT_FALSE(std::filesystem::exists(directory / "Mailbox-damaged-0.inv"));
  std::printf("killed saves left variant 0 %d times, variant 1 %d times\n", found[0], found[1]);
}

// Small changes, one per save: whether the kill comes while a change record
// is appended, the index is written out, the journal starts anew or an open
// completes a save. The helper says each step's number once its save returned.
TEST_F(KilledHelpers, ASmallChangeKilledAtAnyInstantLeavesTheOldOrTheNewIndex) {
  SaveVariantZero();
  MailboxIndex expected;
  FillVariant(expected, 0);
  uint32_t steps = 0;
  KillRepeatedly(QUORVEL_INDEX_STEPPER, {directory.path()}, 100, 40000, [&](Mailbox& m, auto& helper) {
    while (const std::optional<std::string> line = helper.ReadLine()) {
      steps = std::max(steps, static_cast<uint32_t>(std::stoul(*line)));
    }
    ASSERT_GE(m.Index().Count(), kVariantEntries);
    const uint32_t reached = m.Index().EntryAt(0).writtenTime;
    ASSERT_GE(reached, steps) << "a save that had returned was lost";
    while (expected.EntryAt(0).writtenTime < reached) TakeStep(expected);
    steps = reached;
    ASSERT_EQ(ContentOf(m.Index()), ContentOf(expected));
  });
  std::printf("killed stepping saves reached step %u\n", steps);
}

// The helper removes the first item and files a new one, over and over: the
// index on disk never names a deleted item file, and no item went missing
// beyond the one being replaced.
TEST_F(KilledHelpers, ARemovalKilledAtAnyInstantLeavesNoListedItemWithoutItsFile) {
  constexpr uint32_t kItems = 20;
  ASSERT_TRUE(Open());
  for (uint32_t i = 0; i < kItems; ++i) ASSERT_NE(FileMail(), kNoItem);
  ASSERT_TRUE(mailbox.CloseIndex(true));
  const std::vector<std::string> arguments{directory.path(), NewItem(), std::to_string(kItems)};
  KillRepeatedly(QUORVEL_ITEM_REMOVER, arguments, 100, 40000, [&](Mailbox& m, auto&) {
    ASSERT_GE(m.Index().Count(), kItems - 1);
    for (uint32_t i = 0; i < m.Index().Count(); ++i) {
      const std::string path = m.PathOf(m.Index().EntryAt(i));
      ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path << " is listed but gone";
    }
  });
}

}  // namespace
}  // namespace quorvel::testing
