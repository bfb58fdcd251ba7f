#include "mailbox/ItemIndex.h"

#include <algorithm>
#include <array>

namespace quorvel {

namespace {

constexpr uint32_t kNoParent = 0xFFFFFFFF;

// Spreads ids that count up over the whole table.
size_t SlotOf(uint32_t id, size_t slots) {
  uint32_t x = id;
  x ^= x >> 16;
  x *= 0x7FEB352D;
  x ^= x >> 15;
  x *= 0x846CA68B;
  x ^= x >> 16;
  return x & (slots - 1);
}

}  // namespace

std::optional<uint32_t> ItemIndex::Find(uint32_t id) const {
  if (positionsStale_) RebuildPositions();
  if (positions_.empty()) return std::nullopt;
  const size_t mask = positions_.size() - 1;
  for (size_t slot = SlotOf(id, positions_.size());; slot = (slot + 1) & mask) {
    const uint32_t position = positions_[slot];
    if (position == kNoPosition) return std::nullopt;
    if (slotIds_[slot] == id) return Shifted(position, epochs_[slot]);
  }
}

uint32_t ItemIndex::Shifted(uint32_t position, uint32_t epoch) const {
  for (size_t k = epoch; k < shifts_.size(); ++k) {
    if (position >= shifts_[k].first) position += static_cast<uint32_t>(shifts_[k].second);
  }
  return position;
}

IndexEntry* ItemIndex::EntryOf(uint32_t id) {
  const std::optional<uint32_t> position = Find(id);
  return position ? &EntryAt(*position) : nullptr;
}

uint32_t ItemIndex::SubtreeEnd(uint32_t position) const {
  const uint8_t depth = entries_[position].depth;
  uint32_t end = position + 1;
  while (end < Count() && entries_[end].depth > depth) ++end;
  return end;
}

std::optional<uint32_t> ItemIndex::ParentPosition(uint32_t position) const {
  if (entriesHandedOut_) {
    // The host may have changed any depth since: walk back from the item.
    if (position >= Count() || entries_[position].depth == 0) return std::nullopt;
    const uint8_t parentDepth = entries_[position].depth - 1;
    for (uint32_t at = position; at-- > 0;) {
      if (entries_[at].depth == parentDepth) return at;
    }
    return std::nullopt;
  }
  if (parentsStale_) RebuildParents();
  if (position >= parents_.size() || parents_[position] == kNoParent) return std::nullopt;
  return parents_[position];
}

uint32_t ItemIndex::HighestId() const {
  uint32_t highest = 0;
  for (const uint32_t id : ids_) highest = std::max(highest, id);
  return highest;
}

void ItemIndex::Insert(uint32_t position, uint32_t id, std::unique_ptr<IndexEntry> entry) {
  const bool appended = position == Count();
  if (ids_.Size() == ids_.Capacity()) {
    // By half again, not by the stored grow-by of 20: filing one item after
    // another would copy both arrays every twentieth time.
    const uint32_t room = std::max<uint32_t>(64, ids_.Size() + ids_.Size() / 2);
    ids_.Reserve(room);
    entries_.Reserve(room);
  }
  if (appended) {
    ids_.Add(id);
  } else {
    ids_.InsertAt(position, id);
  }
  entries_.AdoptAt(position, std::move(entry));
  edits_.Inserted(position);
  sorted_ = false;
  parentsStale_ = true;
  if (positionsStale_ || 2 * Count() > positions_.size()) {
    positionsStale_ = true;
  } else if (appended) {
    PlacePosition(id, position);  // keeps an earlier holder of the id
  } else if (duplicateIds_ || Find(id)) {
    positionsStale_ = true;  // the earlier of two holders is not known here
  } else {
    ShiftPositions(position, 1);
    PlacePosition(id, position);
  }
}

void ItemIndex::RemoveAt(uint32_t position) {
  const uint32_t id = ids_[position];
  if (entriesHandedOut_) handedOut_.erase(entries_.At(position));
  ids_.RemoveAt(position);
  entries_.RemoveAt(position);
  edits_.Removed(position);
  parentsStale_ = true;
  if (positionsStale_ || duplicateIds_) {
    positionsStale_ = true;
  } else {
    UnplacePosition(id);
    ShiftPositions(position, -1);
  }
}

const IndexEdits& ItemIndex::Edits() {
  if (handedOut_.size() > IndexEdits::kMostRuns) edits_.ChangedAll();
  for (const auto& [entry, id] : handedOut_) {
    if (edits_.AllChanged()) break;
    // An id held twice may not find the entry: then everything counts.
    const std::optional<uint32_t> position = Find(id);
    if (position && entries_.At(*position) == entry) {
      edits_.Changed(*position);
    } else {
      edits_.ChangedAll();
    }
  }
  return edits_;
}

IndexEntry& ItemIndex::HandOut(uint32_t position) {
  IndexEntry* entry = entries_.At(position);
  handedOut_.emplace(entry, ids_[position]);
  entriesHandedOut_ = true;
  return *entry;
}

void ItemIndex::Reset() {
  entriesHandedOut_ = false;
  handedOut_.clear();
  ids_.RemoveAll();
  entries_.RemoveAll();
  edits_.ChangedAll();
  sorted_ = true;
  positions_.clear();
  slotIds_.clear();
  epochs_.clear();
  shifts_.clear();
  positionsStale_ = false;
  duplicateIds_ = false;
  parentsStale_ = true;
}

void ItemIndex::Assign(U32Array ids, std::vector<std::unique_ptr<IndexEntry>> entries,
                       bool sorted) {
  Reset();
  ids_ = std::move(ids);
  entries_.Reserve(static_cast<uint32_t>(entries.size()));
  for (auto& entry : entries) entries_.Adopt(std::move(entry));
  sorted_ = sorted;
  positionsStale_ = true;
  parentsStale_ = true;
}

void ItemIndex::RebuildPositions() const {
  size_t slots = 16;
  while (slots < 2 * static_cast<size_t>(ids_.Size())) slots *= 2;
  positions_.assign(slots, kNoPosition);
  slotIds_.assign(slots, 0);
  epochs_.assign(slots, 0);
  shifts_.clear();
  duplicateIds_ = false;
  for (uint32_t i = 0; i < ids_.Size(); ++i) PlacePosition(ids_[i], i);
  positionsStale_ = false;
}

void ItemIndex::PlacePosition(uint32_t id, uint32_t position) const {
  const size_t mask = positions_.size() - 1;
  for (size_t slot = SlotOf(id, positions_.size());; slot = (slot + 1) & mask) {
    if (positions_[slot] == kNoPosition) {
      slotIds_[slot] = id;
      positions_[slot] = position;
      epochs_[slot] = static_cast<uint32_t>(shifts_.size());
      return;
    }
    if (slotIds_[slot] == id) {
      duplicateIds_ = true;
      return;
    }
  }
}

void ItemIndex::ShiftPositions(uint32_t first, int32_t by) const {
  shifts_.push_back({first, by});
  if (shifts_.size() > kMostShifts) positionsStale_ = true;
}

void ItemIndex::UnplacePosition(uint32_t id) const {
  const size_t mask = positions_.size() - 1;
  size_t hole = SlotOf(id, positions_.size());
  for (; slotIds_[hole] != id || positions_[hole] == kNoPosition; hole = (hole + 1) & mask) {
    if (positions_[hole] == kNoPosition) {
      positionsStale_ = true;  // not listed: the table is not what it should be
      return;
    }
  }
  // A later member may fill the hole unless its own slot lies cyclically in
  // (hole, member]: it would then no longer be found from there.
  for (size_t member = (hole + 1) & mask; positions_[member] != kNoPosition;
       member = (member + 1) & mask) {
    const size_t home = SlotOf(slotIds_[member], positions_.size());
    const bool reachable = hole <= member ? hole < home && home <= member
                                          : hole < home || home <= member;
    if (!reachable) {
      slotIds_[hole] = slotIds_[member];
      positions_[hole] = positions_[member];
      epochs_[hole] = epochs_[member];
      hole = member;
    }
  }
  positions_[hole] = kNoPosition;
}

// The walk back from an item stops at the first earlier item one level
// shallower, passing over shallower ones too; the latest position seen at
// each depth is exactly where that walk stops.
void ItemIndex::RebuildParents() const {
  std::array<uint32_t, 256> latestAtDepth;
  latestAtDepth.fill(kNoParent);
  parents_.assign(Count(), kNoParent);
  for (uint32_t i = 0; i < Count(); ++i) {
    const uint8_t depth = entries_[i].depth;
    if (depth != 0) parents_[i] = latestAtDepth[depth - 1];
    latestAtDepth[depth] = i;
  }
  parentsStale_ = false;
}

}  // namespace quorvel
