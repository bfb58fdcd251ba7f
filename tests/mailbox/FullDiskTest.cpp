// Saves on a disk that fills up (injected through the platform's file
// services): the save fails, and the next open finds a complete index, the
// old one when the disk filled before the new image was safe.
#include <gtest/gtest.h>

#include "IndexVariants.h"
#include "MailboxFixture.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

class FullDiskTest : public MailboxTest {
 protected:
  FullDiskTest() {
    FillVariant(variants[0], 0);
    FillVariant(variants[1], 1);
    EXPECT_TRUE(Open());
    FillVariant(mailbox.Index(), 0);
    EXPECT_TRUE(mailbox.SaveIndex());
    // Open again: a new mailbox would be saved once more when it closes.
    EXPECT_TRUE(Open());
    EXPECT_FALSE(mailbox.IsDirty());
  }
  // The variant a fresh open of the mailbox finds, or -1.
  int Reopened() {
    Mailbox reopened;
    if (!reopened.OpenIndex(directory.path(), true, 1, 0)) return -1;
    const std::string content = ContentOf(reopened.Index());
    for (int v = 0; v < 2; ++v) {
      if (content == ContentOf(variants[v])) return v;
    }
    return -1;
  }

  MailboxIndex variants[2];
};

TEST_F(FullDiskTest, ASaveOnAFullDiskFailsAndLeavesACompleteIndex) {
  const uint64_t image = EncodeIndexImage(1, 1, variants[1]).size();
  const uint64_t side = image + 8;
  const struct {
    uint64_t room;
    int expected;
  } cases[] = {
      {0, 0},         {1, 0},        {side / 2, 0}, {side - 1, 0},  // the side file fills
      {side, 1},      {side + 1, 1}, {side + image / 2, 1}, {side + image - 1, 1},  // the index fills
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("room for " + std::to_string(c.room) + " bytes");
    ASSERT_TRUE(Open());
    FillVariant(mailbox.Index(), 0);
    ASSERT_TRUE(mailbox.SaveIndex());
    FillVariant(mailbox.Index(), 1);
    {
      platform::FileFaults faults;
      faults.FillDiskAfter(c.room);
      EXPECT_FALSE(mailbox.SaveIndex());
      EXPECT_TRUE(faults.Fired());
    }
    EXPECT_TRUE(mailbox.CloseIndex(false));
    EXPECT_EQ(Reopened(), c.expected);
  }
}

TEST_F(FullDiskTest, AfterAHalfRewrittenIndexTheSideFileIsKeptUntilTheIndexIsWhole) {
  const uint64_t side = EncodeIndexImage(1, 1, variants[1]).size() + 8;
  FillVariant(mailbox.Index(), 1);
  {
    platform::FileFaults faults;
    faults.FillDiskAfter(side + 100);  // the index rewrite breaks off
    EXPECT_FALSE(mailbox.SaveIndex());
  }
  FillVariant(mailbox.Index(), 0);
  {
    platform::FileFaults faults;
    faults.FillDiskAfter(40);  // and the next save too, past the entry count
    EXPECT_FALSE(mailbox.SaveIndex());
  }
  EXPECT_TRUE(mailbox.CloseIndex(false));
  EXPECT_EQ(Reopened(), 1);  // the image the side file kept
  ASSERT_TRUE(Open());
  EXPECT_TRUE(mailbox.SaveIndex());  // room again: everything back to normal
  EXPECT_EQ(ReadFile(directory / "Mailbox.inv.new"), "");
}

TEST_F(FullDiskTest, AFailedSyncFailsTheSave) {
  FillVariant(mailbox.Index(), 1);
  for (uint32_t nth = 1; nth <= 2; ++nth) {
    SCOPED_TRACE("sync " + std::to_string(nth));
    platform::FileFaults faults;
    faults.Fail(platform::FileOperation::Sync, nth);
    EXPECT_FALSE(mailbox.SaveIndex());
  }
  EXPECT_TRUE(mailbox.CloseIndex(false));
  EXPECT_NE(Reopened(), -1);
}

}  // namespace
}  // namespace quorvel::testing
