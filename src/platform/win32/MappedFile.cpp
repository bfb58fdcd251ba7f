// A read-only file mapping of the whole file. The file is opened with
// FILE_SHARE_READ only (FileShare::DenyWrite) and closed once the mapping
// exists; the mapping keeps it open, and Windows refuses to cut a file that
// is mapped.
#include <windows.h>

#include "platform/MappedFile.h"

namespace quorvel::platform {

std::optional<MappedFile> MappedFile::Open(const std::string& path) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  LARGE_INTEGER length;
  if (!::GetFileSizeEx(file, &length) ||
      static_cast<uint64_t>(length.QuadPart) > static_cast<uint64_t>(SIZE_MAX)) {
    ::CloseHandle(file);
    return std::nullopt;
  }
  if (length.QuadPart == 0) {
    ::CloseHandle(file);
    return MappedFile(nullptr, 0, -1);
  }
  HANDLE mapping = ::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ::CloseHandle(file);
  if (mapping == nullptr) return std::nullopt;
  const void* data = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (data == nullptr) {
    ::CloseHandle(mapping);
    return std::nullopt;
  }
  return MappedFile(static_cast<const char*>(data), static_cast<size_t>(length.QuadPart),
                    reinterpret_cast<intptr_t>(mapping));
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) ::UnmapViewOfFile(data_);
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace quorvel::platform
