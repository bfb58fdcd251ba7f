#include "mailbox/IndexChanges.h"

#include <algorithm>
#include <cstring>

#include "exchange/Archive.h"

namespace quorvel {

namespace {

constexpr size_t kSpliceHead = 12;  // offset, removed, inserted length
constexpr size_t kBlock = 256;      // compared with memcmp before byte by byte

// How many leading bytes of a and b (both `length` long) are equal.
size_t CommonPrefix(const char* a, const char* b, size_t length) {
  size_t at = 0;
  while (at + kBlock <= length && std::memcmp(a + at, b + at, kBlock) == 0) at += kBlock;
  while (at < length && a[at] == b[at]) ++at;
  return at;
}

// How many trailing bytes of a and b (both `length` long) are equal.
size_t CommonSuffix(const char* a, const char* b, size_t length) {
  size_t at = 0;
  while (at + kBlock <= length &&
         std::memcmp(a + length - at - kBlock, b + length - at - kBlock, kBlock) == 0) {
    at += kBlock;
  }
  while (at < length && a[length - at - 1] == b[length - at - 1]) ++at;
  return at;
}

size_t EntryCount(const IndexImage& image) {
  return image.entryStarts.empty() ? 0 : image.entryStarts.size() - 1;
}

uint32_t IdAt(const IndexImage& image, size_t i) {
  const char* at = image.bytes.data() + image.bounds[kIdsPart] + 4 * i;
  uint32_t id = 0;
  for (int byte = 3; byte >= 0; --byte) id = id << 8 | static_cast<uint8_t>(at[byte]);
  return id;
}

std::string_view EntryAt(const IndexImage& image, size_t i) {
  return std::string_view(image.bytes)
      .substr(image.entryStarts[i], image.entryStarts[i + 1] - image.entryStarts[i]);
}

// A part compared as a whole: one splice between its common head and tail.
void SpliceWhole(const IndexImage& before, const IndexImage& after, size_t part,
                 std::vector<Splice>& splices) {
  const size_t oldStart = before.bounds[part];
  const size_t oldLength = before.bounds[part + 1] - oldStart;
  const size_t newStart = after.bounds[part];
  const size_t newLength = after.bounds[part + 1] - newStart;
  const char* oldBytes = before.bytes.data() + oldStart;
  const char* newBytes = after.bytes.data() + newStart;
  const size_t shorter = std::min(oldLength, newLength);
  const size_t prefix = CommonPrefix(oldBytes, newBytes, shorter);
  if (prefix == oldLength && prefix == newLength) return;
  const size_t suffix = CommonSuffix(oldBytes + oldLength - (shorter - prefix),
                                     newBytes + newLength - (shorter - prefix), shorter - prefix);
  splices.push_back({oldStart + prefix, oldLength - prefix - suffix,
                     std::string_view(after.bytes).substr(newStart + prefix,
                                                          newLength - prefix - suffix)});
}

// How many entries at the front and at the back both images have alike, ids
// and bytes: whole entries within the common head and tail of both parts.
std::pair<size_t, size_t> EntriesAlike(const IndexImage& before, const IndexImage& after) {
  const size_t shorter = std::min(EntryCount(before), EntryCount(after));
  if (shorter == 0) return {0, 0};
  const char* oldIds = before.bytes.data() + before.bounds[kIdsPart];
  const char* newIds = after.bytes.data() + after.bounds[kIdsPart];
  const size_t oldIdsLength = 4 * EntryCount(before);
  const size_t newIdsLength = 4 * EntryCount(after);
  const size_t oldStart = before.bounds[kEntriesPart];
  const size_t oldEnd = before.bounds[kEntriesPart + 1];
  const size_t newStart = after.bounds[kEntriesPart];
  const size_t newEnd = after.bounds[kEntriesPart + 1];
  const size_t bytes = std::min(oldEnd - oldStart, newEnd - newStart);
  const std::vector<size_t>& starts = before.entryStarts;

  const size_t leadingBytes =
      CommonPrefix(before.bytes.data() + oldStart, after.bytes.data() + newStart, bytes);
  const size_t leadingEntries =
      std::upper_bound(starts.begin(), starts.end(), oldStart + leadingBytes) - starts.begin() - 1;
  const size_t leading = std::min(
      {leadingEntries, CommonPrefix(oldIds, newIds, 4 * shorter) / 4, shorter});

  const size_t room = bytes - std::min(bytes, starts[leading] - oldStart);
  const size_t trailingBytes =
      CommonSuffix(before.bytes.data() + oldEnd - room, after.bytes.data() + newEnd - room, room);
  const size_t trailingEntries =
      starts.end() - std::lower_bound(starts.begin(), starts.end(), oldEnd - trailingBytes) - 1;
  const size_t trailingIds = CommonSuffix(oldIds + oldIdsLength - 4 * (shorter - leading),
                                          newIds + newIdsLength - 4 * (shorter - leading),
                                          4 * (shorter - leading)) / 4;
  // Equal bytes may still part into entries elsewhere in the later image:
  // the trailing entries must span the same bytes in both.
  size_t trailing = std::min({trailingEntries, trailingIds, shorter - leading});
  while (trailing != 0 && oldEnd - starts[starts.size() - 1 - trailing] !=
                              newEnd - after.entryStarts[after.entryStarts.size() - 1 - trailing]) {
    --trailing;
  }
  return {leading, trailing};
}

// Entries [oldFirst, oldEnd) of the earlier image became [newFirst, newEnd)
// of the later one.
struct Run {
  size_t oldFirst, oldEnd, newFirst, newEnd;
};

// The runs of entries that differ between stretches of equal ones, found by
// walking both id arrays: an entry with the same id and bytes is kept, one
// with the same id and other bytes changed, and where the ids part the
// nearest point where they meet again tells the entries filed, removed or
// replaced (everything left, when they do not meet within a short distance).
std::vector<Run> ChangedRuns(const IndexImage& before, const IndexImage& after) {
  constexpr size_t kLookAhead = 256;
  const auto [leading, trailing] = EntriesAlike(before, after);
  const size_t oldCount = EntryCount(before) - trailing;
  const size_t newCount = EntryCount(after) - trailing;
  std::vector<Run> runs;
  size_t i = leading;
  size_t j = leading;
  const auto changed = [&](size_t oldEnd, size_t newEnd) {
    if (!runs.empty() && runs.back().oldEnd == i && runs.back().newEnd == j) {
      runs.back().oldEnd = oldEnd;
      runs.back().newEnd = newEnd;
    } else {
      runs.push_back({i, oldEnd, j, newEnd});
    }
    i = oldEnd;
    j = newEnd;
  };
  while (i < oldCount && j < newCount) {
    if (IdAt(before, i) == IdAt(after, j)) {
      if (EntryAt(before, i) == EntryAt(after, j)) {
        ++i;
        ++j;
      } else {
        changed(i + 1, j + 1);
      }
      continue;
    }
    // The ids meet again k entries on in the later image (filed), in the
    // earlier one (removed), or in both (replaced).
    bool met = false;
    for (size_t k = 1; k <= kLookAhead && !met; ++k) {
      const bool newOn = j + k < newCount;
      const bool oldOn = i + k < oldCount;
      if (newOn && IdAt(after, j + k) == IdAt(before, i)) {
        changed(i, j + k);
      } else if (oldOn && IdAt(before, i + k) == IdAt(after, j)) {
        changed(i + k, j);
      } else if (newOn && oldOn && IdAt(before, i + k) == IdAt(after, j + k)) {
        changed(i + k, j + k);
      } else {
        continue;
      }
      met = true;
    }
    if (!met) break;
  }
  if (i < oldCount || j < newCount) changed(oldCount, newCount);
  return runs;
}

}  // namespace

std::vector<Splice> SplicesBetween(const IndexImage& before, const IndexImage& after) {
  std::vector<Splice> splices;
  SpliceWhole(before, after, kHeadPart, splices);
  SpliceWhole(before, after, kIdHeadPart, splices);
  const std::vector<Run> runs = ChangedRuns(before, after);
  const std::string_view later(after.bytes);
  for (const Run& run : runs) {
    const size_t oldIds = before.bounds[kIdsPart];
    const size_t newIds = after.bounds[kIdsPart];
    splices.push_back({oldIds + 4 * run.oldFirst, 4 * (run.oldEnd - run.oldFirst),
                       later.substr(newIds + 4 * run.newFirst, 4 * (run.newEnd - run.newFirst))});
  }
  // Entry bounds of an image without entries: the entries part, empty.
  const auto start = [](const IndexImage& image, size_t i) {
    return image.entryStarts.empty() ? image.bounds[kEntriesPart] : image.entryStarts[i];
  };
  for (const Run& run : runs) {
    const size_t oldFirst = start(before, run.oldFirst);
    const size_t newFirst = start(after, run.newFirst);
    splices.push_back({oldFirst, start(before, run.oldEnd) - oldFirst,
                       later.substr(newFirst, start(after, run.newEnd) - newFirst)});
  }
  SpliceWhole(before, after, kOutboxCountPart, splices);
  SpliceWhole(before, after, kOutboxPart, splices);
  return splices;
}

std::string EncodeChangeRecord(const std::vector<Splice>& splices, size_t laterSize) {
  exchange::ArchiveWriter record;
  record.WriteU32(static_cast<uint32_t>(laterSize));
  record.WriteU32(static_cast<uint32_t>(splices.size()));
  for (const Splice& splice : splices) {
    record.WriteU32(static_cast<uint32_t>(splice.offset));
    record.WriteU32(static_cast<uint32_t>(splice.removed));
    record.WriteU32(static_cast<uint32_t>(splice.inserted.size()));
    record.WriteBytes(splice.inserted.data(), splice.inserted.size());
  }
  return record.TakeBytes();
}

std::optional<std::string> ApplyChangeRecord(std::string_view image, std::string_view record) {
  try {
    exchange::ArchiveReader reader(record);
    const uint32_t laterSize = reader.ReadU32();
    const uint32_t count = reader.ReadU32();
    reader.RequireRoomFor(count, kSpliceHead);
    std::string later;
    size_t copied = 0;  // the earlier image is taken up to here
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t offset = reader.ReadU32();
      const uint32_t removed = reader.ReadU32();
      const std::string_view inserted = reader.ReadBytes(reader.ReadU32());
      if (offset < copied || offset > image.size() || removed > image.size() - offset) {
        return std::nullopt;
      }
      later.append(image.substr(copied, offset - copied));
      later.append(inserted);
      copied = offset + removed;
    }
    if (reader.Remaining() != 0 || later.size() + (image.size() - copied) != laterSize) {
      return std::nullopt;
    }
    later.append(image.substr(copied));
    return later;
  } catch (const exchange::ArchiveError&) {
    return std::nullopt;
  }
}

}  // namespace quorvel
