// Windows file-system services: the system already refuses to delete a
// read-only file and to move onto an existing one; listing takes every name
// and matches the pattern itself, so that short 8.3 aliases never match.
#include "platform/FileSystem.h"

#include <windows.h>
#undef ReplaceFile  // windows.h names ReplaceFileA so; ours is the platform's own

#include "platform/Faults.h"
#include "platform/Paths.h"
#include "platform/WildcardMatch.h"

namespace quorvel::platform {

namespace {

constexpr DWORD kNoAttributes = INVALID_FILE_ATTRIBUTES;

DWORD AttributesOf(const std::string& path) {
  return path.empty() ? kNoAttributes : ::GetFileAttributesA(path.c_str());
}

// Cuts a copy whose write "failed" to the bytes that fit on the full disk.
void CutTo(const std::string& path, uint64_t length) {
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(length);
  if (::SetFilePointerEx(handle, end, nullptr, FILE_BEGIN)) ::SetEndOfFile(handle);
  ::CloseHandle(handle);
}

}  // namespace

bool IsExistingDirectory(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsExistingFile(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool MakeDirectory(const std::string& path) {
  if (path.empty() || InjectedFileError(FileOperation::MakeDirectory) != 0) return false;
  return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

// A directory made under the user's temporary directory takes that
// directory's access list, which admits the user alone.
bool MakePrivateDirectory(const std::string& path) {
  return !path.empty() && ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool IsOwnPrivateDirectory(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool RemoveEmptyDirectory(const std::string& path) {
  return !path.empty() && ::RemoveDirectoryA(path.c_str()) != 0;
}


std::vector<DirectoryEntry> ListDirectory(const std::string& directory, std::string_view pattern) {
  std::vector<DirectoryEntry> entries;
  std::string query = directory.empty() ? std::string(".") : directory;
  if (!IsPathSeparator(query.back())) query += '\\';
  query += '*';
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA(query.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string_view name(found.cFileName);
    if (name == "." || name == ".." || !WildcardMatch(pattern, name)) continue;
    entries.push_back(DirectoryEntry{std::string(name),
                                     (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return entries;
}

bool DuplicateFile(const std::string& from, const std::string& to, bool failIfExists) {
  // Counted as the two opens and the one write of the whole length that the
  // copy makes, so that fault plans see the same calls on every system.
  if (from.empty() || to.empty() || InjectedFileError(FileOperation::Open) != 0) return false;
  const std::optional<uint64_t> length = FileLength(from);
  if (!length || InjectedFileError(FileOperation::Open) != 0) return false;
  uint64_t fits = 0;
  const int injected = InjectedFileError(FileOperation::Write, *length, &fits);
  if (!::CopyFileA(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE)) return false;
  if (injected != 0) {
    CutTo(to, fits);
    return false;
  }
  return true;
}

bool DuplicateRegularFile(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty() || InjectedFileError(FileOperation::Open) != 0) return false;
  // A reparse point (a link, a junction) is opened itself, not what it
  // names, and refused; so is anything that is not a file on a disk (a pipe,
  // a device).
  HANDLE source = ::CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (source == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool regular = ::GetFileType(source) == FILE_TYPE_DISK &&
                       ::GetFileInformationByHandle(source, &info) &&
                       (info.dwFileAttributes &
                        (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
  bool copied = false;
  if (regular && InjectedFileError(FileOperation::Open) == 0) {
    HANDLE target = ::CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target != INVALID_HANDLE_VALUE) {
      const uint64_t length = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
      uint64_t fits = 0;
      const int injected = InjectedFileError(FileOperation::Write, length, &fits);
      uint64_t done = 0;
      copied = true;
      char buffer[65536];
      DWORD got = 0;
      while (copied && ::ReadFile(source, buffer, sizeof buffer, &got, nullptr) && got != 0) {
        const DWORD keep = injected != 0 && done + got > fits ? static_cast<DWORD>(fits - done) : got;
        DWORD put = 0;
        copied = ::WriteFile(target, buffer, keep, &put, nullptr) && put == keep && keep == got;
        done += put;
      }
      copied = copied && injected == 0;
      ::CloseHandle(target);
    }
  }
  ::CloseHandle(source);
  return copied;
}

bool RenameFile(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty() || InjectedFileError(FileOperation::Rename) != 0) return false;
  // MoveFileEx refuses an existing target, except the source itself: a
  // rename onto its own name must fail as it does on POSIX.
  if (AttributesOf(to) != INVALID_FILE_ATTRIBUTES) return false;
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED) != 0;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty() || InjectedFileError(FileOperation::Rename) != 0) return false;
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool RemoveFile(const std::string& path) {
  return IsExistingFile(path) && ::DeleteFileA(path.c_str()) != 0;
}

namespace {

// FlushFileBuffers needs a handle open for writing; a directory opens as
// such only with backup semantics.
bool Flush(const std::string& path, DWORD flags) {
  if (path.empty() || InjectedFileError(FileOperation::Sync) != 0) return false;
  HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool flushed = ::FlushFileBuffers(handle) != 0;
  ::CloseHandle(handle);
  return flushed;
}

}  // namespace

bool SyncFile(const std::string& path) { return Flush(path, FILE_ATTRIBUTE_NORMAL); }

// NTFS logs its directory changes; where a directory cannot be flushed
// itself (not every file system lets one), flushing its files was all the
// system offers.
bool SyncDirectory(const std::string& path) {
  if (InjectedFileError(FileOperation::Sync) != 0) return false;
  const std::string directory = path.empty() ? "." : path;
  if (!IsExistingDirectory(directory)) return false;
  HANDLE handle = ::CreateFileA(directory.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return true;
  ::FlushFileBuffers(handle);
  ::CloseHandle(handle);
  return true;
}

std::optional<bool> SyncFileSystemOf(const std::string&) { return std::nullopt; }

bool SetReadOnly(const std::string& path, bool readOnly) {
  const DWORD attributes = AttributesOf(path);
  if (attributes == kNoAttributes) return false;
  const DWORD changed = readOnly ? (attributes | FILE_ATTRIBUTE_READONLY)
                                 : (attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  return ::SetFileAttributesA(path.c_str(), changed) != 0;
}

bool IsReadOnly(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

std::optional<uint64_t> FileLength(const std::string& path) {
  const std::optional<FileStamp> stamp = StampOf(path);
  if (!stamp) return std::nullopt;
  return stamp->length;
}

// The identity (the file index) needs an open handle: it stays 0.
std::optional<FileStamp> StampOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.empty() || !::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  const uint64_t written =
      (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
  return FileStamp{(uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
                   static_cast<int64_t>(written), 0};
}

// A directory's last write time changes when an entry in it is made,
// removed or renamed (NTFS; FAT keeps none worth the name, so its stamp
// rarely changes and the mailbox's periodic full listing covers it).
std::optional<FileStamp> DirectoryStampOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.empty() || !::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return std::nullopt;
  }
  const uint64_t written =
      (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
  return FileStamp{(uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
                   static_cast<int64_t>(written), 0};
}

}  // namespace quorvel::platform
