// A person's view of an exchange file: packed or not, the header, whether the
// CRC holds, then the tree of blocks with every tag, type and value. Damage is
// reported with what is wrong and the offset where it was found.
#pragma once

#include <ostream>
#include <string>

namespace quorvel::exchange {

// Writes the dump of the file at `path` to `out` and what is wrong with it
// (each damage with its offset, or why it cannot be read) to `problems`;
// false when the file cannot be read or is damaged anywhere, its length
// trailer included.
bool DumpExchangeFile(const std::string& path, std::ostream& out, std::ostream& problems);

}  // namespace quorvel::exchange
