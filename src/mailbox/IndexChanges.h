// The change between two index images as a save records it: a few splices of
// the earlier image (at an offset, take some bytes out, put others in). They
// are looked for part by part (head, id array, entries, outbox), so that an
// item filed anywhere costs a handful of small splices however large the
// index is, although it shifts every later byte of the file.
//
// Record form (all u32 little-endian): the later image's length, the splice
// count, then each splice: offset in the earlier image, bytes taken out,
// bytes put in, and those bytes. Splices come in file order and never
// overlap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mailbox/IndexFormat.h"

namespace quorvel {

struct Splice {
  size_t offset = 0;         // in the earlier image
  size_t removed = 0;        // bytes of the earlier image taken out there
  std::string_view inserted;  // bytes of the later image put in their place
};

// The splices that turn `before` into `after` (none when they are equal).
// The views point into `after`. A save whose changes are known patches its
// image instead (IndexPieces.h); this compares two images as they are.
std::vector<Splice> SplicesBetween(const IndexImage& before, const IndexImage& after);

std::string EncodeChangeRecord(const std::vector<Splice>& splices, size_t laterSize);

// `image` with the record applied; nothing when the record is damaged or was
// not made from an image of this length.
std::optional<std::string> ApplyChangeRecord(std::string_view image, std::string_view record);

}  // namespace quorvel
