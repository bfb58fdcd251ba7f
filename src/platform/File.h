// An open file with Windows sharing semantics: while a handle is open, other
// openers are refused as its sharing mode says. Failures are FileError
// exceptions carrying a cause and the path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace quorvel::platform {

enum class FileAccess { Read, Write, ReadWrite, Append };
// Exclusive refuses every other opener; DenyWrite lets others read; DenyNone
// lets others do anything except open exclusively.
enum class FileShare { Exclusive, DenyWrite, DenyNone };
enum class FileDisposition {
  OpenExisting,  // fail when missing
  OpenAlways,    // create when missing
  CreateAlways,  // create or truncate
  CreateNew,     // fail when present
};
enum class SeekOrigin { Begin, Current, End };

class FileError : public std::runtime_error {
 public:
  enum class Cause {
    Generic,
    FileNotFound,
    BadPath,
    TooManyOpenFiles,
    AccessDenied,
    SharingViolation,
    DiskFull,
    EndOfFile,
  };
  FileError(Cause cause, std::string path, int systemError);
  Cause cause() const { return cause_; }
  const std::string& path() const { return path_; }
  int systemError() const { return systemError_; }

 private:
  Cause cause_;
  std::string path_;
  int systemError_;
};

class File {
 public:
  File() = default;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  static File Open(const std::string& path, FileAccess access, FileShare share,
                   FileDisposition disposition);
  // Like Open, but answers nothing instead of throwing; `why` gets the cause.
  static std::optional<File> TryOpen(const std::string& path, FileAccess access,
                                     FileShare share, FileDisposition disposition,
                                     FileError::Cause* why = nullptr);

  // A lock file: opened (with `create`, created anew; else an existing one)
  // for the caller alone, readable and writable by its owner only, and held
  // exclusively until closed; nothing when another holds it or it cannot be
  // opened. The fault plans leave lock files alone.
  static std::optional<File> TryLock(const std::string& path, bool create);

  // Reads up to `size` bytes; 0 at the end of the file.
  size_t Read(void* buffer, size_t size);
  // Writes all bytes or throws.
  void Write(const void* data, size_t size);
  uint64_t Seek(int64_t offset, SeekOrigin origin);
  uint64_t Position() const;
  uint64_t Length() const;
  void SetLength(uint64_t length);
  void Flush();
  // Waits until what was written is on the disk (fsync).
  void Sync();
  void Close();

  bool IsOpen() const { return handle_ != kInvalidHandle; }
  const std::string& Path() const { return path_; }

 private:
  static constexpr intptr_t kInvalidHandle = -1;
  File(intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}

  intptr_t handle_ = kInvalidHandle;  // the system's descriptor or handle
  std::string path_;
};

}  // namespace quorvel::platform
