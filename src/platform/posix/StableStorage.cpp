#include "platform/StableStorage.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/Faults.h"

namespace quorvel::platform {

namespace {

bool Synced(const std::string& path, int flags) {
  if (InjectedFileError(FileOperation::Sync) != 0) return false;
  const int descriptor = ::open(path.c_str(), flags | O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (descriptor < 0) return false;
  const bool synced = ::fsync(descriptor) == 0;
  ::close(descriptor);
  return synced;
}

}  // namespace

bool SyncFileToDisk(const std::string& path) { return Synced(path, O_NONBLOCK); }

bool SyncDirectoryToDisk(const std::string& directory) {
  return Synced(directory.empty() ? "." : directory, O_DIRECTORY);
}

}  // namespace quorvel::platform
