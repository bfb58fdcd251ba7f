// Putting written data on stable storage before the only other copy goes
// (a message deleted on its server): a file's bytes, and a directory's
// entries (the names of files created or renamed in it).
#pragma once

#include <string>

namespace quorvel::platform {

// Flushes the file's written bytes to the disk; false when it cannot be
// opened or flushed.
bool SyncFileToDisk(const std::string& path);
// Flushes the entries of the directory to the disk; false when it cannot
// be opened or flushed (where the system keeps directory entries safe by
// itself, true).
bool SyncDirectoryToDisk(const std::string& directory);

}  // namespace quorvel::platform
