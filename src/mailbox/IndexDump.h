// A person's view of "Mailbox.inv": the head, every entry with its id and
// offset, and the outbox queue. Damage is reported with what is wrong and the
// offset where reading stopped.
#pragma once

#include <ostream>
#include <string>

namespace quorvel {

// The file begins with the index magic "INV ".
bool IsIndexFile(const std::string& path);

// Writes the dump of the index at `path` to `out`; false when the file cannot
// be read or is damaged.
bool DumpIndexFile(const std::string& path, std::ostream& out);

}  // namespace quorvel
