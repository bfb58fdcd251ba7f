// POSIX file-system services with the Windows behaviour the library relies
// on: a read-only file cannot be deleted, listing patterns ignore case, a
// move never replaces an existing file.
#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/Faults.h"
#include "platform/posix/Descriptor.h"
#include "platform/WildcardMatch.h"

namespace quorvel::platform {

namespace {

bool StatPath(const std::string& path, struct stat& info) {
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

// Copies `length` bytes; the copy counts as one write of the whole length,
// and a full disk keeps what fit.
bool CopyCountedAsOneWrite(int source, int target, uint64_t length) {
  uint64_t fits = 0;
  const int injected = InjectedFileError(FileOperation::Write, length, &fits);
  if (!CopyDescriptorContents(source, target, length)) return false;
  if (injected != 0) {
    const bool cut = ::ftruncate(target, static_cast<off_t>(fits)) == 0;
    static_cast<void>(cut);  // the copy fails either way
    return false;
  }
  return true;
}

}  // namespace

bool IsExistingDirectory(const std::string& path) {
  struct stat info;
  return StatPath(path, info) && S_ISDIR(info.st_mode);
}

bool IsExistingFile(const std::string& path) {
  struct stat info;
  return StatPath(path, info) && !S_ISDIR(info.st_mode);
}

bool MakeDirectory(const std::string& path) {
  if (path.empty() || InjectedFileError(FileOperation::MakeDirectory) != 0) return false;
  return ::mkdir(path.c_str(), 0777) == 0;
}

bool MakePrivateDirectory(const std::string& path) {
  return !path.empty() && ::mkdir(path.c_str(), 0700) == 0;
}

bool IsOwnPrivateDirectory(const std::string& path) {
  std::string bare = path;
  while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
  struct stat info;
  return !bare.empty() && ::lstat(bare.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

bool RemoveEmptyDirectory(const std::string& path) {
  return !path.empty() && ::rmdir(path.c_str()) == 0;
}

std::vector<DirectoryEntry> ListDirectory(const std::string& directory, std::string_view pattern) {
  std::vector<DirectoryEntry> entries;
  DIR* stream = ::opendir(directory.empty() ? "." : directory.c_str());
  if (stream == nullptr) return entries;
  std::string base = directory;
  if (!base.empty() && base.back() != '/') base += '/';
  while (const dirent* entry = ::readdir(stream)) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    if (!WildcardMatch(pattern, name)) continue;
    bool isDirectory = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      isDirectory = IsExistingDirectory(base + std::string(name));
    }
    entries.push_back(DirectoryEntry{std::string(name), isDirectory});
  }
  ::closedir(stream);
  return entries;
}

bool DuplicateFile(const std::string& from, const std::string& to, bool failIfExists) {
  if (from.empty() || to.empty() || InjectedFileError(FileOperation::Open) != 0) return false;
  Descriptor source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info;
  if (!source.valid() || ::fstat(source.get(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  if (IsExistingFile(to) && (failIfExists || IsReadOnly(to))) return false;
  if (InjectedFileError(FileOperation::Open) != 0) return false;
  Descriptor target(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!target.valid()) return false;
  if (!CopyCountedAsOneWrite(source.get(), target.get(), static_cast<uint64_t>(info.st_size))) {
    return false;
  }
  ::fchmod(target.get(), info.st_mode & 07777);  // keeps the read-only attribute, as Windows does
  return true;
}

bool DuplicateRegularFile(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty() || InjectedFileError(FileOperation::Open) != 0) return false;
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
  Descriptor source(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info;
  if (!source.valid() || ::fstat(source.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const int flags = ::fcntl(source.get(), F_GETFL);
  if (flags < 0 || ::fcntl(source.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return false;
  if (InjectedFileError(FileOperation::Open) != 0) return false;
  Descriptor target(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!target.valid() || ::fchmod(target.get(), 0600) != 0) return false;
  if (!CopyCountedAsOneWrite(source.get(), target.get(), static_cast<uint64_t>(info.st_size))) {
    return false;
  }
  return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty() || InjectedFileError(FileOperation::Rename) != 0) return false;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EXDEV) {  // another file system: copy, then delete the original
    if (!DuplicateFile(from, to, true)) return false;
    if (::unlink(from.c_str()) == 0) return true;
    ::unlink(to.c_str());
    return false;
  }
  if (errno == EINVAL) {  // a file system without RENAME_NOREPLACE
    // A hard link is refused when the name exists, in one step; a file
    // system without links (FAT, some network shares) is left the test
    // and the rename in two.
    if (::link(from.c_str(), to.c_str()) == 0) {
      ::unlink(from.c_str());  // the file has its new name already
      return true;
    }
    if (errno == EEXIST) return false;
    struct stat info;
    if (::lstat(to.c_str(), &info) == 0) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
  }
  return false;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty() || InjectedFileError(FileOperation::Rename) != 0) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const std::string& path) {
  if (!IsExistingFile(path) || IsReadOnly(path)) return false;
  return ::unlink(path.c_str()) == 0;
}

namespace {

bool SyncOpened(const std::string& path, int flags) {
  if (path.empty() || InjectedFileError(FileOperation::Sync) != 0) return false;
  const Descriptor opened(::open(path.c_str(), flags | O_CLOEXEC));
  return opened.valid() && ::fsync(opened.get()) == 0;
}

}  // namespace

bool SyncFile(const std::string& path) { return SyncOpened(path, O_RDONLY); }

bool SyncDirectory(const std::string& directory) {
  return SyncOpened(directory.empty() ? "." : directory, O_RDONLY | O_DIRECTORY);
}

std::optional<bool> SyncFileSystemOf(const std::string& directory) {
#ifdef __linux__
  if (InjectedFileError(FileOperation::Sync) != 0) return false;
  const Descriptor opened(
      ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return opened.valid() && ::syncfs(opened.get()) == 0;
#else
  (void)directory;
  return std::nullopt;
#endif
}

bool SetReadOnly(const std::string& path, bool readOnly) {
  struct stat info;
  if (!StatPath(path, info)) return false;
  const mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
  const mode_t mode = readOnly ? (info.st_mode & ~writeBits) : (info.st_mode | S_IWUSR);
  return ::chmod(path.c_str(), mode & 07777) == 0;
}

bool IsReadOnly(const std::string& path) {
  struct stat info;
  return StatPath(path, info) && (info.st_mode & S_IWUSR) == 0;
}

std::optional<uint64_t> FileLength(const std::string& path) {
  struct stat info;
  if (!StatPath(path, info) || S_ISDIR(info.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

std::optional<FileStamp> StampOf(const std::string& path) {
  struct stat info;
  if (!StatPath(path, info) || S_ISDIR(info.st_mode)) return std::nullopt;
  constexpr int64_t kNanoseconds = 1000000000;
  return FileStamp{static_cast<uint64_t>(info.st_size),
                   static_cast<int64_t>(info.st_mtim.tv_sec) * kNanoseconds + info.st_mtim.tv_nsec,
                   static_cast<uint64_t>(info.st_ino) ^ (static_cast<uint64_t>(info.st_dev) << 40)};
}

std::optional<FileStamp> DirectoryStampOf(const std::string& path) {
  struct stat info;
  if (!StatPath(path, info) || !S_ISDIR(info.st_mode)) return std::nullopt;
  constexpr int64_t kNanoseconds = 1000000000;
  return FileStamp{static_cast<uint64_t>(info.st_size),
                   static_cast<int64_t>(info.st_mtim.tv_sec) * kNanoseconds + info.st_mtim.tv_nsec,
                   static_cast<uint64_t>(info.st_ino) ^ (static_cast<uint64_t>(info.st_dev) << 40)};
}

}  // namespace quorvel::platform
