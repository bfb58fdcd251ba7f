// The change records of index saves and the journal of the side file: a
// record turns the earlier image into the later one, whether the later one
// was encoded afresh or copying from the earlier, and a journal leads to its
// last whole record.
#include <gtest/gtest.h>

#include <functional>

#include "../exchange/RecordBytes.h"
#include "IndexSteps.h"
#include "IndexVariants.h"
#include "MailboxFixture.h"
#include "mailbox/IndexChanges.h"
#include "mailbox/IndexFiles.h"

namespace quorvel::testing {
namespace {

TEST(IndexChangesTest, ARecordTurnsTheEarlierImageIntoTheLaterOne) {
  const size_t any = std::string::npos;
  const auto fill = [](MailboxIndex& index) { FillVariant(index, 1); };
  const struct {
    const char* what;
    bool fromEmpty;
    std::function<void(MailboxIndex&)> change;
    size_t mostRecordBytes;
  } cases[] = {
      {"nothing but the save time", false, [](MailboxIndex&) {}, 40},
      {"one step: a reply filed, an entry marked, the outbox moved", false, TakeStep, 400},
      {"five steps: an entry removed too", false,
       [](MailboxIndex& index) { for (int i = 0; i < 5; ++i) TakeStep(index); }, any},
      {"a thread appended", false,
       [](MailboxIndex& index) { index.Insert(index.Count(), 9999, std::make_unique<IndexEntry>()); }, 150},
      {"the first item removed", false, [](MailboxIndex& index) { index.RemoveAt(0); }, 150},
      // The old last entry is then a byte suffix of the new one: equal tail
      // bytes that part into entries elsewhere.
      {"the last file name grown in front by a byte equal to its length", false,
       [](MailboxIndex& index) {
         std::string& name = index.EntryAt(index.Count() - 1).fileName;
         name.insert(name.begin(), static_cast<char>(name.size()));
       },
       150},
      // Ids that differ only in their low byte must still tell the filing.
      {"a reply filed among ids alike but for their low byte, both ends changed", false,
       [](MailboxIndex& index) {
         index.EntryAt(0).date = 1;
         index.EntryAt(index.Count() - 1).date = 1;
         index.Insert(2900, 3001, std::make_unique<IndexEntry>());
       },
       400},
      {"an entry copied beside itself, id and all", false,
       [](MailboxIndex& index) {
         index.Insert(1, index.IdAt(0), std::make_unique<IndexEntry>(std::as_const(index).EntryAt(0)));
       },
       150},
      {"the outbox emptied", false, [](MailboxIndex& index) { index.outboxQueue.clear(); }, 100},
      {"every item removed", false, [](MailboxIndex& index) { index.Reset(); }, 100},
      {"another index altogether", false, fill, any},
      {"an empty index filled", true, fill, any},
      {"an empty index saved again", true, [](MailboxIndex&) {}, 40},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MailboxIndex index;
    if (!c.fromEmpty) FillVariant(index, 0);
    const IndexImage before = EncodeIndexParts(9000, 1, index);
    index.MarkSaved();
    c.change(index);
    // Encoded afresh, and as a save encodes it: copying what stands unchanged.
    const IndexImage after = EncodeIndexParts(9000, 2, index);
    IndexImage copied;
    EncodeIndexParts(9000, 2, index, copied, &before);
    ASSERT_EQ(copied.bytes, after.bytes);
    for (const IndexImage* later : {&after, static_cast<const IndexImage*>(&copied)}) {
      const std::string record =
          EncodeChangeRecord(SplicesBetween(before, *later), later->bytes.size());
      EXPECT_LE(record.size(), c.mostRecordBytes);
      EXPECT_EQ(ApplyChangeRecord(before.bytes, record), after.bytes);
    }
    // What the copies tell holds only against the image they were copied from.
    MailboxIndex otherIndex;
    FillVariant(otherIndex, 1);
    const IndexImage other = EncodeIndexParts(9000, 3, otherIndex);
    EXPECT_EQ(ApplyChangeRecord(other.bytes, EncodeChangeRecord(SplicesBetween(other, copied),
                                                                copied.bytes.size())),
              after.bytes);
  }
}

TEST(IndexChangesTest, TheRecordOfAnotherNextIdByHand) {
  const MailboxIndex empty;
  const std::string record = EncodeChangeRecord(
      SplicesBetween(EncodeIndexParts(1, 0, empty), EncodeIndexParts(2, 0, empty)), 23);
  // The later length, one splice: at offset 8, one byte out, one byte in.
  EXPECT_EQ(record, U32(23) + U32(1) + U32(8) + U32(1) + U32(1) + "\x02");
}

TEST(IndexChangesTest, ARecordThatDoesNotFitTheImageDoesNotApply) {
  const std::string image(30, 'a');
  const std::string splice = U32(4) + U32(2) + U32(3) + "xyz";
  EXPECT_EQ(ApplyChangeRecord(image, U32(31) + U32(1) + splice), "aaaaxyz" + std::string(24, 'a'));
  const struct {
    const char* what;
    std::string record;
  } cases[] = {
      {"another later length", U32(30) + U32(1) + splice},
      {"a splice missing", U32(34) + U32(2) + splice},
      {"a byte beyond the splices", U32(31) + U32(1) + splice + "z"},
      {"an offset beyond the image", U32(2) + U32(1) + U32(31) + U32(0) + U32(0)},
      {"more taken out than there is", U32(29) + U32(1) + U32(29) + U32(2) + U32(0)},
      {"splices out of order", U32(32) + U32(2) + splice + U32(5) + U32(0) + U32(1) + "q"},
      {"a splice cut short", U32(31) + U32(1) + splice.substr(0, 13)},
      {"nothing", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(ApplyChangeRecord(image, c.record));
  }
}

TEST(IndexJournalTest, AJournalLeadsToItsLastWholeRecord) {
  const std::string base = "the base image";
  const std::string head = "INVJ" + U32(14) + U32(ReferenceCrc(base));
  const std::string first = U32(14) + U32(1) + U32(4) + U32(4) + U32(4) + "BASE";  // "the BASE image"
  const std::string second = U32(9) + U32(1) + U32(8) + U32(6) + U32(1) + "!";     // "the BASE!"
  const std::string entry1 =
      U32(24) + U32(ReferenceCrc(U32(ReferenceCrc(base)) + first)) + first;
  const std::string entry2 =
      U32(21) + U32(ReferenceCrc(entry1.substr(4, 4) + second)) + second;
  uint32_t link = 0;
  EXPECT_EQ(JournalHead(base, link), head);
  EXPECT_EQ(JournalEntry(first, link), entry1);
  EXPECT_EQ(JournalEntry(second, link), entry2);

  std::string flipped = head + base;
  flipped[15] ^= 0x20;
  const std::string misfit = U32(99) + U32(1) + U32(0) + U32(0) + U32(0);
  const struct {
    const char* what;
    std::string side;
    std::optional<std::string> image;
  } cases[] = {
      {"the base alone", head + base, base},
      {"two records", head + base + entry1 + entry2, "the BASE!"},
      {"the last record torn", head + base + entry1 + entry2.substr(0, 22), "the BASE image"},
      {"a record left over from another journal", head + base + entry2, base},
      {"bytes after the last record", head + base + entry1 + "xyz", "the BASE image"},
      {"a record that does not apply",
       head + base + U32(20) + U32(ReferenceCrc(U32(ReferenceCrc(base)) + misfit)) + misfit, base},
      {"the base cut short", head + base.substr(0, 13), std::nullopt},
      {"a byte of the base changed", flipped, std::nullopt},
      {"another magic", "INVK" + head.substr(4) + base, std::nullopt},
      {"an empty side file", "", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ImageInSideFile(c.side), c.image);
  }
}

class IndexPatchTest : public MailboxTest {};

// A save after the journal's base patches the index in place: shorter,
// longer or shifted, the file then holds exactly the saved image.
TEST_F(IndexPatchTest, APatchedIndexHoldsExactlyTheSavedImage) {
  const std::function<void(MailboxIndex&)> changes[] = {
      [](MailboxIndex& index) { FillVariant(index, 0); },
      TakeStep,
      [](MailboxIndex& index) { index.RemoveAt(5); },
  };
  for (const auto& change : changes) {
    ASSERT_TRUE(Open());
    FillVariant(mailbox.Index(), 1);
    ASSERT_TRUE(mailbox.SaveIndex());
    change(mailbox.Index());
    ASSERT_TRUE(mailbox.SaveIndex());
    const std::string saved =
        EncodeIndexImage(mailbox.NextId(), mailbox.LastSaveTime(), mailbox.Index());
    ASSERT_TRUE(mailbox.CloseIndex(false));
    EXPECT_EQ(ReadFile(IndexPath()), saved);
  }
}

}  // namespace
}  // namespace quorvel::testing
