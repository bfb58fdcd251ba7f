// Saves on a disk that fills up (injected through the platform's file
// services): the next open finds a complete index, the old one when the disk
// filled before the new image was safe.
#include <gtest/gtest.h>

#include "IndexVariants.h"
#include "MailboxFixture.h"
#include "mailbox/IndexChanges.h"
#include "mailbox/IndexFiles.h"
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

// The first save of an open makes variant 0 the journal's base; the second
// appends its change record (synced), and the close writes the index out
// whole. A disk full in the second save fails it and leaves variant 0; one
// full in the close keeps the journal, whose variant 1 the next open finds.
// The record's size varies by a few bytes with the save time, so the cases
// keep clear of the exact edges.
TEST_F(FullDiskTest, ASaveOrACloseOnAFullDiskLeavesACompleteIndex) {
  const IndexImage before = EncodeIndexParts(kVariantEntries + 1, 1, variants[0]);
  const IndexImage after = EncodeIndexParts(kVariantEntries + 1, 1, variants[1]);
  uint32_t link = 0;
  const uint64_t record = JournalEntry(
      EncodeChangeRecord(SplicesBetween(before, after), after.bytes.size()), link).size();
  const uint64_t image = after.bytes.size();
  const uint64_t timeBytes = 4;
  const struct {
    bool atClose;
    uint64_t room;
    int expected;
  } cases[] = {
      {false, 0, 0}, {false, 1, 0}, {false, record / 2, 0}, {false, record - 1, 0},
      {false, record + timeBytes, 1},  // the record fits: nothing else is written
      {true, 0, 1}, {true, image / 2, 1}, {true, image - 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE((c.atClose ? "close" : "save") + std::string(" with room for ") +
                 std::to_string(c.room) + " bytes");
    ASSERT_TRUE(Open());
    FillVariant(mailbox.Index(), 0);
    ASSERT_TRUE(mailbox.SaveIndex());
    FillVariant(mailbox.Index(), 1);
    ASSERT_TRUE(!c.atClose || mailbox.SaveIndex());
    {
      platform::FileFaults faults;
      faults.FillDiskAfter(c.room);
      if (c.atClose) {
        mailbox.CloseIndex(false);
      } else {
        EXPECT_EQ(mailbox.SaveIndex(), c.expected == 1);
      }
      EXPECT_EQ(faults.Fired(), c.atClose || c.expected == 0);
    }
    if (c.atClose) {
      EXPECT_NE(ReadFile(directory / "Mailbox.inv.new"), "");
    } else {
      EXPECT_TRUE(mailbox.CloseIndex(false));
    }
    EXPECT_EQ(Reopened(), c.expected);
  }
}

// After an index rewrite broke off, the journal stays the complete copy until
// a save has written the whole index again, not only what changed.
TEST_F(FullDiskTest, AfterAHalfRewrittenIndexTheJournalIsKeptUntilTheIndexIsWhole) {
  const uint64_t base = 12 + EncodeIndexImage(1, 1, variants[1]).size();  // head and image
  FillVariant(mailbox.Index(), 1);
  {
    platform::FileFaults faults;
    faults.FillDiskAfter(base + 100);  // the index rewrite breaks off
    EXPECT_FALSE(mailbox.SaveIndex());
  }
  FillVariant(mailbox.Index(), 0);
  {
    platform::FileFaults faults;
    faults.FillDiskAfter(40);  // and the next save's record too
    EXPECT_FALSE(mailbox.SaveIndex());
  }
  FillVariant(mailbox.Index(), 1);  // as the journal holds it: only the time changes
  EXPECT_TRUE(mailbox.SaveIndex());  // room again
  EXPECT_TRUE(mailbox.CloseIndex(false));
  EXPECT_EQ(ReadFile(directory / "Mailbox.inv.new"), "");
  EXPECT_EQ(ReadFile(IndexPath()).substr(21), EncodeIndexImage(1, 1, variants[1]).substr(21));
  EXPECT_EQ(Reopened(), 1);
}

// Each sync of each kind of save: a journal's first base, an appended record,
// and a journal started anew (the index first, then the new base).
TEST_F(FullDiskTest, AFailedSyncFailsTheSave) {
  const auto failedSave = [&](uint32_t nth) {
    platform::FileFaults faults;
    faults.Fail(platform::FileOperation::Sync, nth);
    return !mailbox.SaveIndex() && faults.Fired();
  };
  FillVariant(mailbox.Index(), 1);
  EXPECT_TRUE(failedSave(1));  // the first base
  ASSERT_TRUE(mailbox.SaveIndex());
  EXPECT_TRUE(failedSave(1));  // a record
  for (uint32_t i = 0; i < IndexFiles::kMostRecords; ++i) ASSERT_TRUE(mailbox.SaveIndex());
  EXPECT_TRUE(failedSave(1));  // the index before a new base
  EXPECT_TRUE(failedSave(2));  // the new base
  EXPECT_TRUE(mailbox.CloseIndex(false));
  EXPECT_EQ(Reopened(), 1);
}

}  // namespace
}  // namespace quorvel::testing
