#include "platform/StableStorage.h"

#include <windows.h>

#include "platform/Faults.h"

namespace quorvel::platform {

bool SyncFileToDisk(const std::string& path) {
  if (InjectedFileError(FileOperation::Sync) != 0) return false;
  // Flushing needs write access; the file is neither changed nor locked.
  HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool flushed = ::FlushFileBuffers(handle) != 0;
  ::CloseHandle(handle);
  return flushed;
}

bool SyncDirectoryToDisk(const std::string& directory) {
  if (InjectedFileError(FileOperation::Sync) != 0) return false;
  // NTFS journals the entries of a directory; flushing its handle, where
  // the system allows it, also writes them out at once.
  const std::string path = directory.empty() ? "." : directory;
  HANDLE handle = ::CreateFileA(path.c_str(),
                                GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  ::FlushFileBuffers(handle);
  ::CloseHandle(handle);
  return true;
}

}  // namespace quorvel::platform
