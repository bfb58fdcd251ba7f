// The directory of a record file: u16 block count, then per block a u16
// entry count and its 8-byte entries. One reader and one writer.
#pragma once

#include <string>

#include "exchange/RecordFormat.h"
#include "exchange/RecordSource.h"

namespace quorvel::exchange {

// Reads the directory that starts at `offset` into `blocks` (appended). No
// count is trusted beyond the bytes the file holds. On failure `damage` says
// what is wrong and where; file errors are logged with their site number.
bool ReadDirectory(RecordSource& file, uint32_t offset, BlockList& blocks, RecordDamage* damage);

// Blocks of a directory, and entries of a block, are counted in 16 bits.
inline constexpr uint32_t kMostEntries = 0xFFFF;

// The directory's bytes; empty when there is no block, a block has no
// entries, or a count exceeds kMostEntries, which a record file cannot hold.
std::string EncodeDirectory(const BlockList& blocks);

}  // namespace quorvel::exchange
