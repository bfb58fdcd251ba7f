// The directory of a record file: u16 block count, then per block a u16
// entry count and its 8-byte entries. One reader and one writer.
#pragma once

#include <string>

#include "exchange/RecordFormat.h"
#include "platform/File.h"

namespace quorvel::exchange {

// Reads the directory that starts at `offset` into `blocks` (appended). No
// count is trusted beyond the bytes the file holds. On failure `damage` says
// what is wrong and where; file errors are logged with their site number.
bool ReadDirectory(platform::File& file, uint32_t offset, BlockList& blocks, RecordDamage* damage);

// The directory's bytes; empty when there is no block or a block has no
// entries, which a record file cannot hold.
std::string EncodeDirectory(const BlockList& blocks);

}  // namespace quorvel::exchange
