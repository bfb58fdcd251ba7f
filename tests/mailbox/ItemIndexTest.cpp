// The item index on its own: lookups by id, tree queries, and the entries a
// save re-encodes (the random edits are the patched image's test).
#include <gtest/gtest.h>

#include <functional>
#include <random>
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

// Random filings (ids repeat) and removals, then every item removed in turn;
// a lookup after each step keeps the map current, so that changes update it
// rather than rebuild it, except in the rounds that look only at the end.
TEST(ItemIndexTest, LookupsFollowEveryFilingAndRemoval) {
  std::mt19937 random(11);
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const bool eachStep = round % 3 != 0;
    ItemIndex index;
    index.Find(0);
    for (int step = 0; step < 100; ++step) {
      if (index.Count() != 0 && random() % 3 == 0) {
        index.RemoveAt(random() % index.Count());
      } else {
        Add(index, random() % (index.Count() + 1), 1 + random() % (round < 15 ? 100 : 40));
      }
      if (eachStep) {
        ASSERT_NO_FATAL_FAILURE(ExpectLookupsAgreeWithTheIds(index));
      }
    }
    ASSERT_NO_FATAL_FAILURE(ExpectLookupsAgreeWithTheIds(index));
    EXPECT_FALSE(index.IsSorted());
    while (index.Count() != 0) {
      index.RemoveAt(random() % index.Count());
      if (eachStep) {
        ASSERT_NO_FATAL_FAILURE(ExpectLookupsAgreeWithTheIds(index));
      }
    }
    ExpectLookupsAgreeWithTheIds(index);
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

// The entries a save must encode afresh, as runs of saved and present
// positions; the entry at position 2 is handed out, so it always counts.
TEST(ItemIndexTest, ASaveEncodesAfreshWhatMayHaveChanged) {
  IndexEntry* handedOut = nullptr;
  using Runs = std::vector<EditRun>;
  const struct {
    const char* what;
    std::function<void(MailboxIndex&)> change;
    Runs runs;  // {oldFirst, oldEnd, newFirst, newEnd}
  } cases[] = {
      {"nothing", [](MailboxIndex&) {}, {{2, 3, 2, 3}}},
      {"read only", [](MailboxIndex& index) { (void)std::as_const(index).EntryAt(1); }, {{2, 3, 2, 3}}},
      {"one written", [](MailboxIndex& index) { index.EntryAt(1).attributes = 9; }, {{1, 3, 1, 3}}},
      {"one written by id", [](MailboxIndex& index) { index.EntryOf(4)->fileName = "x"; }, {{2, 4, 2, 4}}},
      {"one filed in front", [](MailboxIndex& index) { Add(index, 0, 50); }, {{0, 0, 0, 1}, {2, 3, 3, 4}}},
      {"one filed at the end", [](MailboxIndex& index) { Add(index, 4, 50); }, {{2, 3, 2, 3}, {4, 4, 4, 5}}},
      {"one removed", [](MailboxIndex& index) { index.RemoveAt(1); }, {{1, 3, 1, 2}}},
      {"one filed and removed again", [](MailboxIndex& index) { Add(index, 1, 50); index.RemoveAt(1); },
       {{2, 3, 2, 3}}},
      {"the handed-out one changed after the save", [&](MailboxIndex&) { handedOut->date = 77; },
       {{2, 3, 2, 3}}},
      {"the handed-out one removed", [](MailboxIndex& index) { index.RemoveAt(2); }, {{2, 3, 2, 2}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MailboxIndex index;
    for (uint32_t id = 1; id <= 4; ++id) Add(index, index.Count(), id);
    handedOut = &index.HandOut(2);
    index.MarkSaved();
    c.change(index);
    EXPECT_FALSE(index.Edits().AllChanged());
    EXPECT_EQ(index.Edits().Runs(), c.runs);
    index.ForgetSaved();
    EXPECT_TRUE(index.Edits().AllChanged());
  }
}

}  // namespace
}  // namespace quorvel::testing
