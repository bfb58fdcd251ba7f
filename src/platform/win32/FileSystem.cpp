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

bool RemoveEmptyDirectory(const std::string& path) {
  return !path.empty() && ::RemoveDirectoryA(path.c_str()) != 0;
}

bool SyncDirectory(const std::string& path) {
  if (InjectedFileError(FileOperation::Sync) != 0) return false;
  // NTFS makes its directory changes durable in its own log; a directory
  // handle, where one opens, is flushed all the same.
  const HANDLE directory =
      ::CreateFileA(path.empty() ? "." : path.c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (directory == INVALID_HANDLE_VALUE) return true;
  ::FlushFileBuffers(directory);
  ::CloseHandle(directory);
  return true;
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

}  // namespace quorvel::platform
