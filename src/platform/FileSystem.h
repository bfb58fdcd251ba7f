// Whole-file and directory services: existence tests, directory creation and
// listing, copying, moving, deleting and the read-only attribute.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::platform {

bool IsExistingDirectory(const std::string& path);
// An existing path that is not a directory.
bool IsExistingFile(const std::string& path);

// Creates one directory level; fails when it exists already or cannot be made.
bool MakeDirectory(const std::string& path);
// Creates one directory level that only its owner may enter (the fault plans
// leave it alone).
bool MakePrivateDirectory(const std::string& path);
// A directory itself (not a link to one), of the calling user and closed to
// everybody else.
bool IsOwnPrivateDirectory(const std::string& path);
// Removes an empty directory.
bool RemoveEmptyDirectory(const std::string& path);

struct DirectoryEntry {
  std::string name;  // without the directory
  bool isDirectory = false;
};
// The entries of `directory` whose names match `pattern` ('*' any run, '?' one
// character), compared without regard to case as Windows does; "." and ".."
// are never listed. An unreadable directory lists nothing.
std::vector<DirectoryEntry> ListDirectory(const std::string& directory, std::string_view pattern);

// Copies a file's bytes; with `failIfExists` an existing target is an error.
bool DuplicateFile(const std::string& from, const std::string& to, bool failIfExists);
// Copies a file's bytes only when `from` itself is a regular file: a link is
// not followed and a special file (a FIFO, a device) is refused without being
// waited for. `to` is created or replaced, open to its owner alone.
bool DuplicateRegularFile(const std::string& from, const std::string& to);
// Moves or renames a file; an existing target is an error.
bool RenameFile(const std::string& from, const std::string& to);
// Puts `from` in the place of `to` in one step, replacing it when it exists
// (both in one directory): a reader sees the old file or the new, never a
// part.
bool ReplaceFile(const std::string& from, const std::string& to);
// Deletes a file; like Windows, refuses a file marked read-only.
bool RemoveFile(const std::string& path);

// Waits until a file's bytes, or a directory's entries (names created,
// renamed or deleted in it; "" is the working directory), are on the disk:
// what must hold before the only other copy goes. Counted as syncs by the
// fault plans.
bool SyncFile(const std::string& path);
bool SyncDirectory(const std::string& directory);
// The same for every file and directory of the file system that holds
// `directory`, in one wait: cheaper than one wait per file when a run has
// written many. Nothing where the system has no such call (Windows); a
// sync there as well.
std::optional<bool> SyncFileSystemOf(const std::string& directory);

bool SetReadOnly(const std::string& path, bool readOnly);
bool IsReadOnly(const std::string& path);

std::optional<uint64_t> FileLength(const std::string& path);

// What tells one content of a file from another without reading it: its
// length, the time of its last write and, where the system gives one
// without opening the file, its identity. A file rewritten or replaced
// since gets another stamp (a rewrite to the same length within the clock's
// tick aside).
struct FileStamp {
  uint64_t length = 0;
  int64_t writeTime = 0;
  uint64_t identity = 0;
  bool operator==(const FileStamp&) const = default;
};
// Nothing for a missing path or a directory.
std::optional<FileStamp> StampOf(const std::string& path);
// The same of a directory (its length as the system gives it, possibly 0):
// its write time changes whenever an entry is made, removed or renamed in
// it. Nothing for a missing path or a file.
std::optional<FileStamp> DirectoryStampOf(const std::string& path);

}  // namespace quorvel::platform
