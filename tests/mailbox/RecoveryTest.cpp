// What an open makes of a half-saved or damaged index: an unfinished save, every
// flipped byte and truncation. (Rebuilds, full disks: tests/data/mailbox-scripts.)
#include <gtest/gtest.h>

#include "../exchange/RecordBytes.h"
#include "IndexSteps.h"
#include "MailboxFixture.h"
#include "mailbox/IndexChanges.h"

namespace quorvel::testing {
namespace {

class RecoveryTest : public MailboxTest {
 protected:
  // Two threads: 1 (with attachment) answered by 2, answered by 3; then 4
  // (with an options update). Answers the item file names.
  std::vector<std::string> FileTwoThreads() {
    EXPECT_TRUE(Open());
    const uint32_t a = FileMail({exchange::kKindPupilMail, u"Tutor T", 1, 2, true});
    const uint32_t a1 = FileAnswer(a, {exchange::kKindTutorReply, u"Pupil P"});
    FileAnswer(a1);
    FileMail({exchange::kKindPupilMail, u"Tutor T", 0, 0, false, true});
    std::vector<std::string> names;
    for (uint32_t i = 0; i < mailbox.Index().Count(); ++i) {
      names.push_back(mailbox.Index().EntryAt(i).fileName);
    }
    EXPECT_TRUE(mailbox.CloseIndex(true));
    return names;
  }
  bool Lists(const Mailbox& opened, const std::string& name) const {
    for (uint32_t i = 0; i < opened.Index().Count(); ++i) {
      if (opened.Index().EntryAt(i).fileName == name) return true;
    }
    return false;
  }
};

TEST_F(RecoveryTest, TheImageOfAnUnfinishedSaveWinsOnlyWhenComplete) {
  MailboxIndex variants[2];
  FillVariant(variants[0], 0);
  FillVariant(variants[1], 1);
  const IndexImage old = EncodeIndexParts(9000, 1, variants[0]);
  const IndexImage fresh = EncodeIndexParts(9000, 2, variants[1]);
  // Each piece in turn: a record's link follows from the piece before.
  const auto change = [](const IndexImage& from, const IndexImage& to, uint32_t& link) {
    return JournalEntry(EncodeChangeRecord(SplicesBetween(from, to), to.bytes.size()), link);
  };
  uint32_t link = 0;
  std::string toFresh = JournalHead(old.bytes, link) + old.bytes;
  toFresh += change(old, fresh, link);
  std::string toOld = JournalHead(fresh.bytes, link) + fresh.bytes;
  const std::string freshBase = toOld;
  toOld += change(fresh, old, link);
  const std::string restored = EncodeIndexParts(9000, 3, variants[0]).bytes;
  const std::string halfPatched = fresh.bytes.substr(0, 5000) + old.bytes.substr(5000);
  const struct {
    const char* what;
    std::string index, side;
    int expected;
  } cases[] = {
      {"no save under way", old.bytes, "", 0},
      {"a new base cut short", old.bytes, freshBase.substr(0, freshBase.size() - 1), 0},
      {"a flipped byte in a new base", old.bytes, Flipped(freshBase, 40, 0x7F), 0},
      {"a change record torn", old.bytes, toFresh.substr(0, toFresh.size() - 1), 0},
      {"a change record saved, the index not yet patched", old.bytes, toFresh, 1},
      {"the index patched halfway", halfPatched, toFresh, 1},
      {"a shorter index saved, the longer not yet cut", fresh.bytes, toOld, 0},
      {"the index patched, the journal not yet deleted", fresh.bytes, toFresh, 1},
      {"a new base saved, the index not yet patched", fresh.bytes, freshBase, 1},
      // A journal applies only to the index it was written against.
      {"the index patched, then a flipped byte in its record", fresh.bytes,
       Flipped(toFresh, toFresh.size() - 3, 0x7F), 1},
      {"another index put in place since the journal", restored, toFresh, 0},
      {"another index, longer than every image of the journal", old.bytes + "xyz", toFresh, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(IndexPath(), c.index);
    WriteFile(directory / "Mailbox.inv.new", c.side);
    std::filesystem::remove(directory / "Mailbox.inv.sum");  // indexes written elsewhere
    ASSERT_TRUE(Open());
    EXPECT_EQ(ContentOf(mailbox.Index()), ContentOf(variants[c.expected]));
    EXPECT_TRUE(mailbox.CloseIndex(false));
    const std::string& expected = (c.expected == 0 ? old : fresh).bytes;
    EXPECT_EQ(ReadFile(IndexPath()).substr(21, expected.size() - 21), expected.substr(21));
    EXPECT_FALSE(std::filesystem::exists(directory / "Mailbox.inv.new")) << "deleted at the close";
  }
}

TEST_F(RecoveryTest, EveryFlippedByteAndEveryTruncationStillListsEveryItem) {
  const std::vector<std::string> names = FileTwoThreads();
  const std::string valid = ReadFile(IndexPath());
  for (size_t i = 0; i < 2 * valid.size(); ++i) {  // each byte flipped, then cut there
    const std::string bytes = i % 2 == 0 ? Flipped(valid, i / 2, 0xFF) : valid.substr(0, i / 2);
    SCOPED_TRACE(i);
    WriteFile(IndexPath(), bytes);
    Mailbox opened;
    ASSERT_TRUE(opened.OpenIndex(directory.path(), true, 1, 0));
    for (const std::string& name : names) EXPECT_TRUE(Lists(opened, name)) << name;
    for (uint32_t k = 0; k < opened.Index().Count(); ++k) {
      EXPECT_LT(opened.Index().IdAt(k), opened.NextId());
    }
  }
}

}  // namespace
}  // namespace quorvel::testing
