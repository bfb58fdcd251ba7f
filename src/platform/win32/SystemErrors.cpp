// The causes follow the framework's file exceptions: a missing directory is
// a bad path, an existing file that may not be replaced is access denied.
#include "platform/win32/SystemErrors.h"

#include <cerrno>

namespace quorvel::platform {

FileError::Cause FileErrorCause(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return FileError::Cause::FileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return FileError::Cause::BadPath;
    case ERROR_TOO_MANY_OPEN_FILES: return FileError::Cause::TooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_WRITE_PROTECT:
    case ERROR_CANNOT_MAKE: return FileError::Cause::AccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return FileError::Cause::SharingViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return FileError::Cause::DiskFull;
    case ERROR_HANDLE_EOF: return FileError::Cause::EndOfFile;
    default: return FileError::Cause::Generic;
  }
}

DWORD SystemErrorOfInjected(int injected) {
  return injected == ENOSPC ? ERROR_DISK_FULL : ERROR_GEN_FAILURE;
}

}  // namespace quorvel::platform
