// Windows files with their own sharing modes: CreateFileA with the share
// flags the mode names, so a conflicting opener is refused at once. The
// shared modes also admit deleting and renaming (FILE_SHARE_DELETE): the
// library replaces files that readers still hold, as it may on POSIX.
#include <windows.h>

#include <algorithm>

#include "platform/Faults.h"
#include "platform/File.h"
#include "platform/win32/SystemErrors.h"

namespace quorvel::platform {

namespace {

// One ReadFile or WriteFile moves at most this much.
constexpr DWORD kLargestTransfer = 1u << 30;

HANDLE HandleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

DWORD DesiredAccess(FileAccess access) {
  switch (access) {
    case FileAccess::Read: return GENERIC_READ;
    case FileAccess::Write: return GENERIC_WRITE;
    case FileAccess::ReadWrite: return GENERIC_READ | GENERIC_WRITE;
    case FileAccess::Append: return FILE_GENERIC_WRITE & ~FILE_WRITE_DATA;  // writes go to the end
  }
  return GENERIC_READ;
}

DWORD ShareFlags(FileShare share) {
  switch (share) {
    case FileShare::Exclusive: return 0;
    case FileShare::DenyWrite: return FILE_SHARE_READ | FILE_SHARE_DELETE;
    case FileShare::DenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  }
  return 0;
}

DWORD CreationOf(FileDisposition disposition) {
  switch (disposition) {
    case FileDisposition::OpenExisting: return OPEN_EXISTING;
    case FileDisposition::OpenAlways: return OPEN_ALWAYS;
    case FileDisposition::CreateAlways: return CREATE_ALWAYS;
    case FileDisposition::CreateNew: return CREATE_NEW;
  }
  return OPEN_EXISTING;
}

// Answers the handle, or INVALID_HANDLE_VALUE with `error` set.
HANDLE OpenShared(const std::string& path, FileAccess access, FileShare share,
                  FileDisposition disposition, DWORD& error) {
  if (path.empty()) {
    error = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  if (const int injected = InjectedFileError(FileOperation::Open)) {
    error = SystemErrorOfInjected(injected);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = ::CreateFileA(path.c_str(), DesiredAccess(access), ShareFlags(share), nullptr,
                                CreationOf(disposition), FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) error = ::GetLastError();
  return handle;
}

[[noreturn]] void Throw(const std::string& path, DWORD error) {
  throw FileError(FileErrorCause(error), path, static_cast<int>(error));
}

[[noreturn]] void ThrowInjected(const std::string& path, int injected) {
  Throw(path, SystemErrorOfInjected(injected));
}

void Close(intptr_t handle) { ::CloseHandle(HandleOf(handle)); }

}  // namespace

File::File(File&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = kInvalidHandle;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (IsOpen()) platform::Close(handle_);
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = kInvalidHandle;
  }
  return *this;
}

File::~File() {
  if (IsOpen()) platform::Close(handle_);
}

File File::Open(const std::string& path, FileAccess access, FileShare share,
                FileDisposition disposition) {
  DWORD error = 0;
  HANDLE handle = OpenShared(path, access, share, disposition, error);
  if (handle == INVALID_HANDLE_VALUE) Throw(path, error);
  return File(reinterpret_cast<intptr_t>(handle), path);
}

std::optional<File> File::TryOpen(const std::string& path, FileAccess access, FileShare share,
                                  FileDisposition disposition, FileError::Cause* why) {
  DWORD error = 0;
  HANDLE handle = OpenShared(path, access, share, disposition, error);
  if (handle == INVALID_HANDLE_VALUE) {
    if (why != nullptr) *why = FileErrorCause(error);
    return std::nullopt;
  }
  return File(reinterpret_cast<intptr_t>(handle), path);
}

std::optional<File> File::TryLock(const std::string& path, bool create) {
  if (path.empty()) return std::nullopt;
  HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                create ? CREATE_NEW : OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  return File(reinterpret_cast<intptr_t>(handle), path);
}

size_t File::Read(void* buffer, size_t size) {
  if (!IsOpen()) Throw(path_, ERROR_INVALID_HANDLE);
  if (const int injected = InjectedFileError(FileOperation::Read)) ThrowInjected(path_, injected);
  size_t done = 0;
  while (done < size) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, kLargestTransfer));
    DWORD got = 0;
    if (!::ReadFile(HandleOf(handle_), static_cast<char*>(buffer) + done, chunk, &got, nullptr)) {
      Throw(path_, ::GetLastError());
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

void File::Write(const void* data, size_t size) {
  if (!IsOpen()) Throw(path_, ERROR_INVALID_HANDLE);
  uint64_t fits = size;
  const int injected = InjectedFileError(FileOperation::Write, size, &fits);
  size_t done = 0;
  while (done < fits) {
    const DWORD chunk = static_cast<DWORD>(std::min<uint64_t>(fits - done, kLargestTransfer));
    DWORD put = 0;
    if (!::WriteFile(HandleOf(handle_), static_cast<const char*>(data) + done, chunk, &put,
                     nullptr)) {
      Throw(path_, ::GetLastError());
    }
    done += put;
  }
  if (injected != 0) ThrowInjected(path_, injected);
}

uint64_t File::Seek(int64_t offset, SeekOrigin origin) {
  const DWORD method = origin == SeekOrigin::Begin     ? FILE_BEGIN
                       : origin == SeekOrigin::Current ? FILE_CURRENT
                                                       : FILE_END;
  if (const int injected = InjectedFileError(FileOperation::Seek)) ThrowInjected(path_, injected);
  LARGE_INTEGER distance, at;
  distance.QuadPart = offset;
  if (!::SetFilePointerEx(HandleOf(handle_), distance, &at, method)) {
    throw FileError(FileError::Cause::BadPath, path_, static_cast<int>(::GetLastError()));
  }
  return static_cast<uint64_t>(at.QuadPart);
}

uint64_t File::Position() const {
  LARGE_INTEGER zero, at;
  zero.QuadPart = 0;
  if (!::SetFilePointerEx(HandleOf(handle_), zero, &at, FILE_CURRENT)) {
    throw FileError(FileError::Cause::Generic, path_, static_cast<int>(::GetLastError()));
  }
  return static_cast<uint64_t>(at.QuadPart);
}

uint64_t File::Length() const {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(HandleOf(handle_), &size)) {
    throw FileError(FileError::Cause::Generic, path_, static_cast<int>(::GetLastError()));
  }
  return static_cast<uint64_t>(size.QuadPart);
}

void File::SetLength(uint64_t length) {
  const uint64_t position = Position();
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(length);
  if (!::SetFilePointerEx(HandleOf(handle_), end, nullptr, FILE_BEGIN) ||
      !::SetEndOfFile(HandleOf(handle_))) {
    Throw(path_, ::GetLastError());
  }
  LARGE_INTEGER back;
  back.QuadPart = static_cast<LONGLONG>(position);
  ::SetFilePointerEx(HandleOf(handle_), back, nullptr, FILE_BEGIN);  // as ftruncate leaves it
}

void File::Sync() {
  if (!IsOpen()) Throw(path_, ERROR_INVALID_HANDLE);
  if (const int injected = InjectedFileError(FileOperation::Sync)) ThrowInjected(path_, injected);
  if (!::FlushFileBuffers(HandleOf(handle_))) Throw(path_, ::GetLastError());
}

void File::Flush() {
  // Writes go straight to the system: there is no buffer of ours to flush.
}

void File::Close() {
  if (IsOpen()) platform::Close(handle_);
  handle_ = kInvalidHandle;
}

}  // namespace quorvel::platform
