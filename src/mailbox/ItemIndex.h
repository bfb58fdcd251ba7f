// ItemIndex: a mailbox's items in display order (every item followed by its
// whole subtree), as two parallel arrays of ids and entries. MailboxIndex adds
// the queue of items still to be sent. Lookups by id go through a map kept
// beside the arrays, so they cost the same on any size of mailbox; the arrays
// and the sorted flag are what the index file stores.
//
// A save encodes afresh only the entries that may have changed since the
// last one (Edits): those filed, removed or reached for writing since (the
// non-const EntryAt and EntryOf; a reference so obtained is good for changes
// until the next save). An entry handed to the host (HandOut) may change at
// any time, so it counts as changed at every later save.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "mailbox/IndexEdits.h"
#include "quorvel/GrowableArray.h"
#include "quorvel/IndexEntry.h"

namespace quorvel {

class ItemIndex {
 public:
  static constexpr uint32_t kGrowBy = 20;

  ItemIndex() = default;
  ItemIndex(const ItemIndex&) = delete;
  ItemIndex& operator=(const ItemIndex&) = delete;
  virtual ~ItemIndex() = default;

  uint32_t Count() const { return ids_.Size(); }
  uint32_t IdAt(uint32_t position) const { return ids_[position]; }
  IndexEntry& EntryAt(uint32_t position) {
    edits_.Changed(position);
    return entries_[position];
  }
  const IndexEntry& EntryAt(uint32_t position) const { return entries_[position]; }
  const U32Array& Ids() const { return ids_; }

  // The position of the item `id` (its first position, should an id occur
  // twice), or nothing.
  std::optional<uint32_t> Find(uint32_t id) const;
  IndexEntry* EntryOf(uint32_t id);

  // Where a new reply to the item at `position` goes: after the item's whole
  // subtree, that is at the first later position whose depth is not greater
  // than the item's, or at the end.
  uint32_t SubtreeEnd(uint32_t position) const;
  // The position of the parent of the item at `position`: the nearest earlier
  // item exactly one level shallower; nothing for a thread root or when no
  // earlier item has that depth. All parents are found in one pass after a
  // change, so walking the whole index costs linear time, until an entry is
  // handed out: the host may change its depth at any time, so from then on
  // each answer walks back from the item. (A depth changed through EntryAt
  // is not noticed: the depths are the tree's own structure.)
  std::optional<uint32_t> ParentPosition(uint32_t position) const;
  // The greatest id listed, or 0.
  uint32_t HighestId() const;

  // Inserts at `position` (at most Count()); clears the sorted flag.
  void Insert(uint32_t position, uint32_t id, std::unique_ptr<IndexEntry> entry);
  // Removes the item at `position`; the sorted flag stays as it is.
  void RemoveAt(uint32_t position);
  // Empty, with the sorted flag set.
  void Reset();
  // Replaces the whole content; `ids` and `entries` must be of one length.
  void Assign(U32Array ids, std::vector<std::unique_ptr<IndexEntry>> entries, bool sorted);

  // The entries changed since the last save, the handed-out ones included.
  const IndexEdits& Edits();
  // The index was saved as it is now.
  void MarkSaved() { edits_.Clear(); }
  // Every entry counts as changed (a save failed midway).
  void ForgetSaved() { edits_.ChangedAll(); }
  IndexEntry& HandOut(uint32_t position);

  bool IsSorted() const { return sorted_; }
  void SetSorted(bool sorted) { sorted_ = sorted; }

 private:
  void RebuildPositions() const;
  // Enters `id` at `position` unless the id is there already.
  void PlacePosition(uint32_t id, uint32_t position) const;
  // Positions from `first` on moved by `by` (+1 or -1): noted, and applied
  // by each lookup to the positions placed before it, so that a filing does
  // not pass over the whole table; the table is rebuilt once kMostShifts
  // are noted.
  void ShiftPositions(uint32_t first, int32_t by) const;
  uint32_t Shifted(uint32_t position, uint32_t epoch) const;
  // Takes `id` out of the table, moving later members of its probe chain
  // back into the hole.
  void UnplacePosition(uint32_t id) const;
  void RebuildParents() const;

  U32Array ids_{kGrowBy};
  OwningArray<IndexEntry> entries_{kGrowBy};
  bool sorted_ = true;
  // id -> position: an open-addressed table (a power of two of slots, at
  // most half of them used) held as two arrays of ids and positions; a slot
  // whose position is kNoPosition is free.
  static constexpr uint32_t kNoPosition = 0xFFFFFFFF;
  mutable std::vector<uint32_t> slotIds_;
  mutable std::vector<uint32_t> positions_;
  // Per slot: how many of the noted shifts its position has seen.
  mutable std::vector<uint32_t> epochs_;
  static constexpr size_t kMostShifts = 64;
  mutable std::vector<std::pair<uint32_t, int32_t>> shifts_;
  mutable bool positionsStale_ = false;
  // Some id occurs twice: the table holds its first position, which only a
  // rebuild finds again after a change.
  mutable bool duplicateIds_ = false;
  IndexEdits edits_;
  // The entries handed out, with their ids: found again at each save.
  std::unordered_map<const IndexEntry*, uint32_t> handedOut_;
  // position -> parent position (kNoParent for none), rebuilt after a change.
  mutable std::vector<uint32_t> parents_;
  mutable bool parentsStale_ = true;
  // An entry was handed out since the index was last emptied or replaced.
  bool entriesHandedOut_ = false;
};

class MailboxIndex : public ItemIndex {
 public:
  // Ids of the items that still have to be sent, in the order they were filed.
  std::vector<uint32_t> outboxQueue;
};

}  // namespace quorvel
