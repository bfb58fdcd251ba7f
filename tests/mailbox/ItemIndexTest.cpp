// The item index on its own: lookups by id after any sequence of filings and
// removals agree with a walk of the ids, the tree queries follow the depths,
// and a save re-encodes exactly the entries that may have changed.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "mailbox/IndexFormat.h"
#include "mailbox/ItemIndex.h"

namespace quorvel::testing {
namespace {

void Add(ItemIndex& index, uint32_t position, uint32_t id, uint8_t depth = 0) {
  auto entry = std::make_unique<IndexEntry>();
  entry->depth = depth;
  entry->fileName = "item" + std::to_string(id);
  index.Insert(position, id, std::move(entry));
}

// Every id from 0 to `highest` is found at its first position, or not at all.
void ExpectLookupsAgreeWithTheIds(const ItemIndex& index, uint32_t highest = 100) {
  for (uint32_t id = 0; id <= highest; ++id) {
    std::optional<uint32_t> first;
    for (uint32_t i = 0; i < index.Count() && !first; ++i) {
      if (index.IdAt(i) == id) first = i;
    }
    ASSERT_EQ(index.Find(id), first) << "id " << id;
  }
}

TEST(ItemIndexTest, LookupsFollowEveryFilingAndRemoval) {
  const struct {
    const char* what;
    std::function<void(ItemIndex&)> change;
  } cases[] = {
      {"filed in front, one by one", [](ItemIndex& index) { for (uint32_t id = 1; id <= 40; ++id) Add(index, 0, id); }},
      {"filed in the middle", [](ItemIndex& index) { for (uint32_t id = 1; id <= 40; ++id) Add(index, index.Count() / 2, id); }},
      {"removed from the middle",
       [](ItemIndex& index) {
         for (uint32_t id = 1; id <= 60; ++id) Add(index, index.Count(), id * 16);  // ids that share slots
         for (int i = 0; i < 3; ++i) index.RemoveAt(index.Count() / 3);
       }},
      {"every one removed in turn, lookups checked each time",  // also probe chains that wrap
       [](ItemIndex& index) {
         for (uint32_t id = 1; id <= 60; ++id) Add(index, index.Count(), id * 37);
         while (index.Count() != 0) {
           index.RemoveAt(index.Count() / 2);
           ASSERT_NO_FATAL_FAILURE(ExpectLookupsAgreeWithTheIds(index, 60 * 37));
         }
       }},
      {"removed and filed in turn",
       [](ItemIndex& index) {
         for (uint32_t id = 1; id <= 60; ++id) Add(index, index.Count(), id);
         for (uint32_t i = 0; i < 30; ++i) {
           index.RemoveAt((i * 7) % index.Count());
           ASSERT_NO_FATAL_FAILURE(ExpectLookupsAgreeWithTheIds(index));
           Add(index, (i * 11) % index.Count(), 61 + i);
         }
       }},
      {"an id twice, then the first taken out",
       [](ItemIndex& index) {
         for (uint32_t id = 1; id <= 9; ++id) Add(index, index.Count(), id);
         Add(index, index.Count(), 4);
         index.Find(1);
         index.RemoveAt(3);
       }},
      {"an id twice, filed in front of the first",
       [](ItemIndex& index) {
         for (uint32_t id = 1; id <= 9; ++id) Add(index, index.Count(), id);
         index.Find(1);
         Add(index, 2, 7);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ItemIndex index;
    // A lookup after each step keeps the map current, so that changes update
    // it rather than rebuild it.
    index.Find(0);
    c.change(index);
    ExpectLookupsAgreeWithTheIds(index);
    EXPECT_FALSE(index.IsSorted());
  }
}

TEST(ItemIndexTest, TreeQueriesFollowTheDepths) {
  ItemIndex index;
  const uint8_t depths[] = {0, 1, 2, 1, 0, 2, 1};
  for (uint8_t depth : depths) Add(index, index.Count(), 20 - index.Count(), depth);
  const struct {
    uint32_t position, subtreeEnd;
    std::optional<uint32_t> parent;
  } expected[] = {{0, 4, {}}, {1, 3, 0}, {2, 3, 1}, {3, 4, 0}, {4, 7, {}}, {5, 6, 3}, {6, 7, 4}};  // a walk back passes shallower items
  for (const auto& e : expected) {
    SCOPED_TRACE(e.position);
    EXPECT_EQ(index.SubtreeEnd(e.position), e.subtreeEnd);
    EXPECT_EQ(index.ParentPosition(e.position), e.parent);
  }
  EXPECT_EQ(index.HighestId(), 20u);
  index.RemoveAt(0);
  EXPECT_EQ(index.ParentPosition(1), 0u);
  index.Reset();
  EXPECT_TRUE(index.IsSorted());
  EXPECT_EQ(index.HighestId(), 0u);
  EXPECT_FALSE(index.Find(20));
}

// Encoding with the image of the last save gives what a full encoding gives,
// however the entries changed since; the entry at position 2 is handed out.
TEST(ItemIndexTest, ASaveEncodesAfreshWhatMayHaveChanged) {
  IndexEntry* handedOut = nullptr;
  const IndexImage empty;
  using Saved = std::vector<std::optional<uint32_t>>;
  const std::optional<uint32_t> no;
  const struct {
    const char* what;
    std::function<void(MailboxIndex&)> change;
    Saved saved;  // SavedPosition of each entry afterwards
  } cases[] = {
      {"nothing", [](MailboxIndex&) {}, {0, 1, no, 3}},
      {"read only", [](MailboxIndex& index) { (void)std::as_const(index).EntryAt(1); }, {0, 1, no, 3}},
      {"one written", [](MailboxIndex& index) { index.EntryAt(1).attributes = 9; }, {0, no, no, 3}},
      {"one written by id", [](MailboxIndex& index) { index.EntryOf(4)->fileName = "x"; }, {0, 1, no, no}},
      {"one filed in front", [](MailboxIndex& index) { Add(index, 0, 50); }, {no, 0, 1, no, 3}},
      {"one removed", [](MailboxIndex& index) { index.RemoveAt(1); }, {0, no, 3}},
      {"the handed-out one changed after the save", [&](MailboxIndex&) { handedOut->date = 77; },
       {0, 1, no, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MailboxIndex index;
    for (uint32_t id = 1; id <= 4; ++id) Add(index, index.Count(), id);
    handedOut = &index.HandOut(2);
    const IndexImage saved = EncodeIndexParts(5, 1, index);
    index.MarkSaved();
    c.change(index);
    Saved positions;
    for (uint32_t i = 0; i < index.Count(); ++i) positions.push_back(index.SavedPosition(i));
    EXPECT_EQ(positions, c.saved);
    IndexImage reused;
    EncodeIndexParts(5, 1, index, reused, &saved);
    EXPECT_EQ(reused.bytes, EncodeIndexImage(5, 1, index));
    EncodeIndexParts(5, 1, index, reused, &empty);  // an image without those entries
    EXPECT_EQ(reused.bytes, EncodeIndexImage(5, 1, index));
    index.ForgetSaved();
    for (uint32_t i = 0; i < index.Count(); ++i) EXPECT_FALSE(index.SavedPosition(i));
  }
}

}  // namespace
}  // namespace quorvel::testing
