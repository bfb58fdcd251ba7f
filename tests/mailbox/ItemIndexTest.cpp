// The item index on its own: lookups by id after any sequence of filings and
// removals agree with a walk of the ids, the tree queries follow the depths,
// and a save re-encodes exactly the entries that may have changed.
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

// Random filings, removals and writes against a model that remembers where
// each present entry stood at the save: every entry outside the runs stands
// where the runs put it, and everything else lies inside one.
TEST(ItemIndexTest, EditRunsCoverExactlyWhatChanged) {
  std::mt19937 random(5);
  for (int round = 0; round < 200; ++round) {
    const uint32_t saved = 1 + random() % 40;
    IndexEdits edits;
    std::vector<int64_t> model(saved);  // saved position, or -1: new or written
    for (uint32_t i = 0; i < saved; ++i) model[i] = i;
    std::vector<bool> gone(saved, false);
    const int changes = 1 + static_cast<int>(random() % (round < 150 ? 6 : 60));
    for (int k = 0; k < changes; ++k) {
      const uint32_t kind = random() % 3;
      if (kind == 0 || model.empty()) {
        const auto at = static_cast<uint32_t>(random() % (model.size() + 1));
        edits.Inserted(at);
        model.insert(model.begin() + at, -1);
      } else {
        const auto at = static_cast<uint32_t>(random() % model.size());
        if (kind == 1) {
          edits.Removed(at);
          if (model[at] >= 0) gone[model[at]] = true;
          model.erase(model.begin() + at);
        } else {
          edits.Changed(at);
          if (model[at] >= 0) gone[model[at]] = true;
          model[at] = -1;
        }
      }
    }
    if (edits.AllChanged()) continue;
    std::vector<bool> inRun(model.size(), false);
    std::vector<bool> oldInRun(saved, false);
    int64_t shift = 0;
    for (size_t k = 0; k < edits.Runs().size(); ++k) {
      const EditRun& run = edits.Runs()[k];
      if (k > 0) {
        ASSERT_GT(run.newFirst, edits.Runs()[k - 1].newEnd) << "runs touch";
      }
      ASSERT_EQ(int64_t{run.newFirst} - run.oldFirst, shift) << "entries between runs shifted";
      for (uint32_t j = run.newFirst; j < run.newEnd; ++j) inRun[j] = true;
      for (uint32_t i = run.oldFirst; i < run.oldEnd; ++i) oldInRun[i] = true;
      shift = int64_t{run.newEnd} - run.oldEnd;
    }
    shift = 0;
    size_t next = 0;
    for (uint32_t j = 0; j < model.size(); ++j) {
      while (next < edits.Runs().size() && edits.Runs()[next].newEnd <= j) {
        shift = int64_t{edits.Runs()[next].newEnd} - edits.Runs()[next].oldEnd;
        ++next;
      }
      if (!inRun[j]) {
        ASSERT_EQ(model[j], int64_t{j} - shift) << "entry " << j;
      }
    }
    for (uint32_t i = 0; i < saved; ++i) {
      if (gone[i]) {
        ASSERT_TRUE(oldInRun[i]) << "saved entry " << i;
      }
    }
  }
}

}  // namespace
}  // namespace quorvel::testing
