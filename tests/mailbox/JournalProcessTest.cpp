// Saves of small changes killed at any instant: whether the kill comes while
// a change record is appended, while the index is written out, while the
// journal starts anew or while an open completes a save, the next open finds
// the index of the last save that returned or of a later one, complete.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <random>
#include <string>

#include "IndexSteps.h"
#include "IndexVariants.h"
#include "MailboxFixture.h"
#include "platform/ChildProcess.h"

namespace quorvel::testing {
namespace {

TEST(JournalProcessTest, ASmallChangeKilledAtAnyInstantLeavesTheOldOrTheNewIndex) {
  TemporaryDirectoryOverride temporary;
  TempDirectory directory;
  MailboxIndex expected;
  FillVariant(expected, 0);
  {
    Mailbox mailbox;
    ASSERT_TRUE(mailbox.OpenIndex(directory.path(), false, 1, 0));
    FillVariant(mailbox.Index(), 0);
    ASSERT_TRUE(mailbox.SaveIndex());
  }
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> microseconds(0, 40000);
  uint32_t steps = 0;
  for (int run = 0; run < 100; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    {
      std::optional<platform::ChildProcess> stepper =
          platform::ChildProcess::Start(QUORVEL_INDEX_STEPPER, {directory.path()});
      ASSERT_TRUE(stepper);
      ASSERT_EQ(stepper->ReadLine(), "open");
      // Not a wait for anything: the instant of the kill is what varies.
      const auto killAt =
          std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds(random));
      while (std::chrono::steady_clock::now() < killAt) {
      }
      stepper->Kill();
      EXPECT_EQ(stepper->Wait(), -1) << "the helper stopped by itself";
      // The helper says each step's number once its save has returned.
      while (const std::optional<std::string> line = stepper->ReadLine()) {
        steps = std::max(steps, static_cast<uint32_t>(std::stoul(*line)));
      }
    }
    Mailbox reopened;
    ASSERT_TRUE(reopened.OpenIndex(directory.path(), true, 1, 0));
    ASSERT_GE(reopened.Index().Count(), kVariantEntries);
    const uint32_t reached = reopened.Index().EntryAt(0).writtenTime;
    ASSERT_GE(reached, steps) << "a save that had returned was lost";
    for (uint32_t taken = expected.EntryAt(0).writtenTime; taken < reached; ++taken) {
      TakeStep(expected);
    }
    steps = reached;
    ASSERT_EQ(ContentOf(reopened.Index()), ContentOf(expected));
  }
  std::printf("killed stepping saves reached step %u\n", steps);
}

}  // namespace
}  // namespace quorvel::testing
