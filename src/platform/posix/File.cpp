// POSIX files with Windows sharing: every handle holds a flock for its life,
// shared for the sharing modes that admit others and exclusive for
// FileShare::Exclusive, taken without waiting so that a conflicting opener is
// refused at once as on Windows. (A DenyWrite holder does not keep out a
// DenyNone writer: flock has only the two modes.)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Faults.h"
#include "platform/File.h"

namespace quorvel::platform {

namespace {

FileError::Cause CauseOf(int error) {
  switch (error) {
    case ENOENT: return FileError::Cause::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return FileError::Cause::BadPath;
    case EMFILE:
    case ENFILE: return FileError::Cause::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case EEXIST: return FileError::Cause::AccessDenied;
    case EWOULDBLOCK: return FileError::Cause::SharingViolation;
    case ENOSPC:
    case EDQUOT: return FileError::Cause::DiskFull;
    default: return FileError::Cause::Generic;
  }
}

int OpenFlags(FileAccess access, FileDisposition disposition) {
  int flags = O_CLOEXEC;
  switch (access) {
    case FileAccess::Read: flags |= O_RDONLY; break;
    case FileAccess::Write: flags |= O_WRONLY; break;
    case FileAccess::ReadWrite: flags |= O_RDWR; break;
    case FileAccess::Append: flags |= O_WRONLY | O_APPEND; break;
  }
  switch (disposition) {
    case FileDisposition::OpenExisting: break;
    case FileDisposition::OpenAlways:
    case FileDisposition::CreateAlways: flags |= O_CREAT; break;  // truncated once locked
    case FileDisposition::CreateNew: flags |= O_CREAT | O_EXCL; break;
  }
  return flags;
}

// Answers the descriptor, or -1 with errno set.
int OpenShared(const std::string& path, FileAccess access, FileShare share,
               FileDisposition disposition) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  if (const int injected = InjectedFileError(FileOperation::Open)) {
    errno = injected;
    return -1;
  }
  const int fd = ::open(path.c_str(), OpenFlags(access, disposition), 0666);
  if (fd < 0) return -1;
  struct stat info;
  int failure = 0;
  if (::fstat(fd, &info) != 0) {
    failure = errno;
  } else if (S_ISDIR(info.st_mode)) {
    failure = EISDIR;  // Windows will not open a directory as a file
  } else if (::flock(fd, (share == FileShare::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    failure = errno;
  } else if (disposition == FileDisposition::CreateAlways && info.st_size > 0 &&
             ::ftruncate(fd, 0) != 0) {
    // Only a file with content is cut: truncating a new, empty file would make
    // ext4 flush it at close (its replace-by-truncate guard), which costs a
    // disk write for every short-lived file.
    failure = errno;
  }
  if (failure != 0) {
    ::close(fd);
    errno = failure;
    return -1;
  }
  return fd;
}

}  // namespace

File::File(File&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = kInvalidHandle;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (IsOpen()) ::close(static_cast<int>(handle_));
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = kInvalidHandle;
  }
  return *this;
}

File::~File() {
  if (IsOpen()) ::close(static_cast<int>(handle_));
}

File File::Open(const std::string& path, FileAccess access, FileShare share,
                FileDisposition disposition) {
  const int fd = OpenShared(path, access, share, disposition);
  if (fd < 0) throw FileError(CauseOf(errno), path, errno);
  return File(fd, path);
}

std::optional<File> File::TryOpen(const std::string& path, FileAccess access, FileShare share,
                                  FileDisposition disposition, FileError::Cause* why) {
  const int fd = OpenShared(path, access, share, disposition);
  if (fd < 0) {
    if (why != nullptr) *why = CauseOf(errno);
    return std::nullopt;
  }
  return File(fd, path);
}

std::optional<File> File::TryLock(const std::string& path, bool create) {
  if (path.empty()) return std::nullopt;
  const int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
  const int fd = ::open(path.c_str(), flags, 0600);
  if (fd < 0) return std::nullopt;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  return File(fd, path);
}

size_t File::Read(void* buffer, size_t size) {
  if (!IsOpen()) throw FileError(FileError::Cause::Generic, path_, EBADF);
  if (const int injected = InjectedFileError(FileOperation::Read)) {
    throw FileError(CauseOf(injected), path_, injected);
  }
  size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(static_cast<int>(handle_), static_cast<char*>(buffer) + done,
                               size - done);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw FileError(CauseOf(errno), path_, errno);
    }
    done += static_cast<size_t>(got);
  }
  return done;
}

void File::Write(const void* data, size_t size) {
  if (!IsOpen()) throw FileError(FileError::Cause::Generic, path_, EBADF);
  uint64_t fits = size;
  const int injected = InjectedFileError(FileOperation::Write, size, &fits);
  size_t done = 0;
  while (done < fits) {
    const ssize_t put = ::write(static_cast<int>(handle_), static_cast<const char*>(data) + done,
                                static_cast<size_t>(fits) - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      throw FileError(CauseOf(errno), path_, errno);
    }
    done += static_cast<size_t>(put);
  }
  if (injected != 0) throw FileError(CauseOf(injected), path_, injected);
}

uint64_t File::Seek(int64_t offset, SeekOrigin origin) {
  const int whence = origin == SeekOrigin::Begin ? SEEK_SET
                     : origin == SeekOrigin::Current ? SEEK_CUR
                                                     : SEEK_END;
  if (const int injected = InjectedFileError(FileOperation::Seek)) {
    throw FileError(CauseOf(injected), path_, injected);
  }
  const off_t at = ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), whence);
  if (at < 0) throw FileError(FileError::Cause::BadPath, path_, errno);
  return static_cast<uint64_t>(at);
}

uint64_t File::Position() const {
  const off_t at = ::lseek(static_cast<int>(handle_), 0, SEEK_CUR);
  if (at < 0) throw FileError(FileError::Cause::Generic, path_, errno);
  return static_cast<uint64_t>(at);
}

uint64_t File::Length() const {
  struct stat info;
  if (::fstat(static_cast<int>(handle_), &info) != 0) {
    throw FileError(FileError::Cause::Generic, path_, errno);
  }
  return static_cast<uint64_t>(info.st_size);
}

void File::SetLength(uint64_t length) {
  if (::ftruncate(static_cast<int>(handle_), static_cast<off_t>(length)) != 0) {
    throw FileError(CauseOf(errno), path_, errno);
  }
}

void File::Sync() {
  if (!IsOpen()) throw FileError(FileError::Cause::Generic, path_, EBADF);
  int failure = InjectedFileError(FileOperation::Sync);
  if (failure == 0 && ::fsync(static_cast<int>(handle_)) != 0) failure = errno;
  if (failure != 0) throw FileError(CauseOf(failure), path_, failure);
}

void File::Flush() {
  // Writes go straight to the system: there is no buffer of ours to flush.
}

void File::Close() {
  if (IsOpen()) ::close(static_cast<int>(handle_));
  handle_ = kInvalidHandle;
}

}  // namespace quorvel::platform
