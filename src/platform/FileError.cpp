// The message of a file failure names the cause and the file, as the
// framework's file exceptions did.
#include "platform/File.h"

namespace quorvel::platform {

namespace {

const char* Describe(FileError::Cause cause) {
  switch (cause) {
    case FileError::Cause::FileNotFound: return "was not found";
    case FileError::Cause::BadPath: return "has an invalid path";
    case FileError::Cause::TooManyOpenFiles: return "could not be opened: too many open files";
    case FileError::Cause::AccessDenied: return "could not be accessed: access denied";
    case FileError::Cause::SharingViolation: return "is in use by another opener";
    case FileError::Cause::DiskFull: return "could not be written: the disk is full";
    case FileError::Cause::EndOfFile: return "ended unexpectedly";
    case FileError::Cause::Generic: break;
  }
  return "could not be read or written";
}

}  // namespace

FileError::FileError(Cause cause, std::string path, int systemError)
    : std::runtime_error("The file " + path + " " + Describe(cause) + "."),
      cause_(cause),
      path_(std::move(path)),
      systemError_(systemError) {}

}  // namespace quorvel::platform
