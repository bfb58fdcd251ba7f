#include "mailbox/IndexPieces.h"

#include <algorithm>
#include <cstring>

#include "exchange/Archive.h"

namespace quorvel {

namespace {

void PutU32(std::string& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
}

uint32_t GetU32(const char* at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(at[i]);
  return value;
}

// One splice between a small old piece at `offset` and its new bytes: what
// lies between their common head and tail; none when they are equal.
void SplicePiece(size_t offset, std::string_view before, std::string_view after,
                 std::vector<Splice>& splices) {
  const size_t shorter = std::min(before.size(), after.size());
  size_t prefix = 0;
  while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
  if (prefix == before.size() && prefix == after.size()) return;
  size_t suffix = 0;
  while (suffix < shorter - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  splices.push_back({offset + prefix, before.size() - prefix - suffix,
                     after.substr(prefix, after.size() - prefix - suffix)});
}

}  // namespace

void IndexPieces::AssignBytes(std::string bytes) {
  parts_ = false;
  chunks_.clear();
  outbox_.clear();
  count_ = 0;
  entryBytes_ = 0;
  size_ = bytes.size();
  bytes_ = std::move(bytes);
  bytesKnown_ = true;
}

const std::string& IndexPieces::Bytes() const {
  if (bytesKnown_) return bytes_;
  bytes_.clear();
  bytes_.reserve(size_);
  bytes_ += head_;
  bytes_ += idHead_;
  for (const Chunk& chunk : chunks_) {
    for (const uint32_t id : chunk.ids) PutU32(bytes_, id);
  }
  for (const Chunk& chunk : chunks_) bytes_ += chunk.bytes;
  bytes_ += outboxCount_;
  for (const uint32_t id : outbox_) PutU32(bytes_, id);
  bytesKnown_ = true;
  return bytes_;
}

void IndexPieces::AssignParts(const IndexImage& image) {
  const std::string_view bytes(image.bytes);
  const auto part = [&](size_t i) {
    return bytes.substr(image.bounds[i], image.bounds[i + 1] - image.bounds[i]);
  };
  parts_ = true;
  head_ = part(kHeadPart);
  idHead_ = part(kIdHeadPart);
  outboxCount_ = part(kOutboxCountPart);
  const std::string_view outbox = part(kOutboxPart);
  outbox_.resize(outbox.size() / 4);
  for (size_t i = 0; i < outbox_.size(); ++i) outbox_[i] = GetU32(outbox.data() + 4 * i);
  count_ = image.entryStarts.empty() ? 0 : static_cast<uint32_t>(image.entryStarts.size() - 1);
  entryBytes_ = image.bounds[kEntriesPart + 1] - image.bounds[kEntriesPart];
  chunks_.clear();
  for (uint32_t first = 0; first < count_; first += kChunkEntries) {
    const uint32_t end = std::min(count_, first + kChunkEntries);
    Chunk& chunk = chunks_.emplace_back();
    const size_t from = image.entryStarts[first];
    chunk.bytes = bytes.substr(from, image.entryStarts[end] - from);
    for (uint32_t i = first; i < end; ++i) {
      chunk.ids.push_back(GetU32(bytes.data() + image.bounds[kIdsPart] + 4 * i));
      chunk.ends.push_back(static_cast<uint32_t>(image.entryStarts[i + 1] - from));
    }
  }
  size_ = image.bytes.size();
  bytesKnown_ = false;
}

IndexImage IndexPieces::Whole() const {
  IndexImage image;
  image.bytes = Bytes();
  size_t at = 0;
  image.bounds[kHeadPart] = 0;
  image.bounds[kIdHeadPart] = at += head_.size();
  image.bounds[kIdsPart] = at += idHead_.size();
  image.bounds[kEntriesPart] = at += 4 * size_t{count_};
  if (count_ != 0) {
    image.entryStarts.push_back(at);
    for (const Chunk& chunk : chunks_) {
      for (const uint32_t end : chunk.ends) image.entryStarts.push_back(at + end);
      at += chunk.bytes.size();
    }
  }
  image.bounds[kOutboxCountPart] = at;
  image.bounds[kOutboxPart] = at += outboxCount_.size();
  image.bounds[kIndexImageParts] = at + 4 * outbox_.size();
  return image;
}

IndexPieces::Place IndexPieces::Locate(uint32_t position) const {
  size_t before = 0;
  uint32_t passed = 0;
  for (size_t k = 0; k < chunks_.size(); ++k) {
    const auto count = static_cast<uint32_t>(chunks_[k].ids.size());
    if (position < passed + count || k + 1 == chunks_.size()) return {k, position - passed, before};
    passed += count;
    before += chunks_[k].bytes.size();
  }
  return {0, 0, 0};
}

size_t IndexPieces::EntryOffset(uint32_t position) const {
  const size_t entries = IdsStart() + 4 * size_t{count_};
  if (chunks_.empty()) return entries;
  const Place place = Locate(position);
  return entries + place.before + chunks_[place.chunk].Start(place.entry);
}

std::string_view IndexPieces::EntryBytes(uint32_t position) const {
  const Place place = Locate(position);
  const Chunk& chunk = chunks_[place.chunk];
  const uint32_t start = chunk.Start(place.entry);
  return std::string_view(chunk.bytes).substr(start, chunk.ends[place.entry] - start);
}

uint32_t IndexPieces::IdAt(uint32_t position) const {
  const Place place = Locate(position);
  return chunks_[place.chunk].ids[place.entry];
}

void IndexPieces::Patch(uint32_t nextId, uint32_t saveTime, const MailboxIndex& index,
                        const IndexEdits& edits, ImagePatch& patch) const {
  patch.splices.clear();
  patch.runs.clear();
  patch.outboxIds.clear();
  patch.outboxBytes.clear();
  const uint32_t count = index.Count();
  patch.count = count;
  patch.whole = !parts_ || edits.AllChanged() || count_ == 0 || count == 0;
  if (patch.whole) {
    EncodeIndexParts(nextId, saveTime, index, patch.image);
    patch.laterSize = patch.image.bytes.size();
    if (parts_) {
      patch.splices = SplicesBetween(Whole(), patch.image);
    } else {
      patch.splices.push_back({0, size_, std::string_view(patch.image.bytes)});
    }
    return;
  }
  exchange::ArchiveWriter head;
  head.WriteU32(kIndexMagic);
  head.WriteU32(kIndexVersion);
  head.WriteU32(nextId);
  head.WriteU32(saveTime);
  head.WriteU32(count);
  head.WriteU8(index.IsSorted() ? 1 : 0);
  patch.head = head.TakeBytes();
  head.WriteU32(sizeof(uint32_t));
  head.WriteU32(count);
  head.WriteU32(index.Ids().GrowBy());
  patch.idHead = head.TakeBytes();

  // The runs' entries encoded afresh; those at either end of a run that are
  // as saved (an entry reached for writing but left alone) drop out.
  for (const EditRun& edit : edits.Runs()) {
    exchange::ArchiveWriter entries;
    std::vector<uint32_t> ends;
    for (uint32_t j = edit.newFirst; j < edit.newEnd; ++j) {
      WriteIndexEntry(entries, index.EntryAt(j));
      ends.push_back(static_cast<uint32_t>(entries.Size()));
    }
    const std::string encoded = entries.TakeBytes();
    const auto newEntry = [&](uint32_t k) {
      const uint32_t start = k == 0 ? 0 : ends[k - 1];
      return std::string_view(encoded).substr(start, ends[k] - start);
    };
    const auto alike = [&](uint32_t oldPosition, uint32_t k) {
      return IdAt(oldPosition) == index.IdAt(edit.newFirst + k) &&
             EntryBytes(oldPosition) == newEntry(k);
    };
    const uint32_t shorter = std::min(edit.oldEnd - edit.oldFirst, edit.newEnd - edit.newFirst);
    uint32_t lead = 0;
    while (lead < shorter && alike(edit.oldFirst + lead, lead)) ++lead;
    uint32_t trail = 0;
    while (trail < shorter - lead &&
           alike(edit.oldEnd - 1 - trail, edit.newEnd - edit.newFirst - 1 - trail)) {
      ++trail;
    }
    ImagePatch::Run run;
    run.oldFirst = edit.oldFirst + lead;
    run.oldEnd = edit.oldEnd - trail;
    const uint32_t newFirst = edit.newFirst + lead;
    const uint32_t newEnd = edit.newEnd - trail;
    if (run.oldFirst == run.oldEnd && newFirst == newEnd) continue;
    const uint32_t from = lead == 0 ? 0 : ends[lead - 1];
    for (uint32_t j = newFirst; j < newEnd; ++j) {
      run.ids.push_back(index.IdAt(j));
      PutU32(run.idBytes, index.IdAt(j));
      run.sizes.push_back(ends[j - edit.newFirst] - (j == edit.newFirst ? 0 : ends[j - edit.newFirst - 1]));
    }
    const uint32_t to = newEnd == edit.newFirst ? 0 : ends[newEnd - edit.newFirst - 1];
    run.bytes = encoded.substr(from, to - from);
    patch.runs.push_back(std::move(run));
  }

  // The queue: one stretch between the ids that stayed at either end.
  const std::vector<uint32_t>& queue = index.outboxQueue;
  exchange::ArchiveWriter queueCount;
  queueCount.WriteCount(static_cast<uint32_t>(queue.size()));
  patch.outboxCount = queueCount.TakeBytes();
  const size_t shorter = std::min(queue.size(), outbox_.size());
  // A queue of every item never sent is as long as the index: compared a
  // block at a time.
  constexpr size_t kBlock = 64;
  size_t prefix = 0;
  while (prefix + kBlock <= shorter &&
         std::memcmp(&queue[prefix], &outbox_[prefix], kBlock * sizeof(uint32_t)) == 0) {
    prefix += kBlock;
  }
  while (prefix < shorter && queue[prefix] == outbox_[prefix]) ++prefix;
  size_t suffix = 0;
  while (suffix < shorter - prefix &&
         queue[queue.size() - 1 - suffix] == outbox_[outbox_.size() - 1 - suffix]) {
    ++suffix;
  }
  patch.outboxFirst = static_cast<uint32_t>(prefix);
  patch.outboxRemoved = static_cast<uint32_t>(outbox_.size() - prefix - suffix);
  patch.outboxIds.assign(queue.begin() + static_cast<ptrdiff_t>(prefix),
                         queue.end() - static_cast<ptrdiff_t>(suffix));
  for (const uint32_t id : patch.outboxIds) PutU32(patch.outboxBytes, id);

  // Every piece is in place: the splices in file order.
  std::vector<Splice>& splices = patch.splices;
  SplicePiece(0, head_, patch.head, splices);
  SplicePiece(head_.size(), idHead_, patch.idHead, splices);
  for (const ImagePatch::Run& run : patch.runs) {
    splices.push_back({IdsStart() + 4 * size_t{run.oldFirst}, 4 * size_t{run.oldEnd - run.oldFirst},
                       std::string_view(run.idBytes)});
  }
  for (const ImagePatch::Run& run : patch.runs) {
    const size_t first = EntryOffset(run.oldFirst);
    splices.push_back({first, EntryOffset(run.oldEnd) - first, std::string_view(run.bytes)});
  }
  const size_t outboxStart = IdsStart() + 4 * size_t{count_} + entryBytes_;
  SplicePiece(outboxStart, outboxCount_, patch.outboxCount, splices);
  if (patch.outboxRemoved != 0 || !patch.outboxIds.empty()) {
    splices.push_back({outboxStart + outboxCount_.size() + 4 * size_t{prefix},
                       4 * size_t{patch.outboxRemoved}, std::string_view(patch.outboxBytes)});
  }
  patch.laterSize = size_;
  for (const Splice& splice : splices) patch.laterSize += splice.inserted.size() - splice.removed;
}

void IndexPieces::Apply(ImagePatch& patch) {
  if (patch.whole) {
    AssignParts(patch.image);
    bytes_ = std::move(patch.image.bytes);
    bytesKnown_ = true;
    return;
  }
  // From the back, so that the saved positions of the runs before hold.
  for (auto run = patch.runs.rbegin(); run != patch.runs.rend(); ++run) {
    RemoveEntries(run->oldFirst, run->oldEnd);
    InsertEntries(run->oldFirst, *run);
  }
  count_ = patch.count;
  head_ = std::move(patch.head);
  idHead_ = std::move(patch.idHead);
  outboxCount_ = std::move(patch.outboxCount);
  const auto first = outbox_.begin() + patch.outboxFirst;
  outbox_.erase(first, first + patch.outboxRemoved);
  outbox_.insert(outbox_.begin() + patch.outboxFirst, patch.outboxIds.begin(), patch.outboxIds.end());
  size_ = patch.laterSize;
  bytesKnown_ = false;
}

void IndexPieces::RemoveEntries(uint32_t first, uint32_t end) {
  while (end > first) {
    const Place place = Locate(first);
    Chunk& chunk = chunks_[place.chunk];
    const uint32_t taken = std::min<uint32_t>(end - first, static_cast<uint32_t>(chunk.ids.size()) - place.entry);
    const uint32_t from = chunk.Start(place.entry);
    const uint32_t bytes = chunk.ends[place.entry + taken - 1] - from;
    chunk.bytes.erase(from, bytes);
    chunk.ids.erase(chunk.ids.begin() + place.entry, chunk.ids.begin() + place.entry + taken);
    chunk.ends.erase(chunk.ends.begin() + place.entry, chunk.ends.begin() + place.entry + taken);
    for (size_t i = place.entry; i < chunk.ends.size(); ++i) chunk.ends[i] -= bytes;
    entryBytes_ -= bytes;
    if (chunk.ids.empty()) chunks_.erase(chunks_.begin() + static_cast<ptrdiff_t>(place.chunk));
    end -= taken;
  }
}

void IndexPieces::InsertEntries(uint32_t position, const ImagePatch::Run& run) {
  if (run.ids.empty()) return;
  if (chunks_.empty()) chunks_.emplace_back();
  const Place place = Locate(position);
  Chunk& chunk = chunks_[place.chunk];
  const uint32_t at = chunk.Start(place.entry);
  const auto bytes = static_cast<uint32_t>(run.bytes.size());
  chunk.bytes.insert(at, run.bytes);
  for (size_t i = place.entry; i < chunk.ends.size(); ++i) chunk.ends[i] += bytes;
  std::vector<uint32_t> ends;
  uint32_t end = at;
  for (const uint32_t size : run.sizes) ends.push_back(end += size);
  chunk.ids.insert(chunk.ids.begin() + place.entry, run.ids.begin(), run.ids.end());
  chunk.ends.insert(chunk.ends.begin() + place.entry, ends.begin(), ends.end());
  entryBytes_ += bytes;
  Split(place.chunk);
}

// Runs of many filings at one place make one large chunk: it is cut into
// chunks of kChunkEntries.
void IndexPieces::Split(size_t k) {
  while (chunks_[k].ids.size() > 2 * kChunkEntries) {
    Chunk& chunk = chunks_[k];
    const uint32_t keep = static_cast<uint32_t>(chunk.ids.size()) - kChunkEntries;
    Chunk tail;
    const uint32_t from = chunk.ends[keep - 1];
    tail.bytes = chunk.bytes.substr(from);
    tail.ids.assign(chunk.ids.begin() + keep, chunk.ids.end());
    for (size_t i = keep; i < chunk.ends.size(); ++i) tail.ends.push_back(chunk.ends[i] - from);
    chunk.bytes.resize(from);
    chunk.ids.resize(keep);
    chunk.ends.resize(keep);
    chunks_.insert(chunks_.begin() + static_cast<ptrdiff_t>(k + 1), std::move(tail));
  }
}

}  // namespace quorvel
