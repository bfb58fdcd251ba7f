// A read-only file mapping of the whole file. The file is opened with
// FILE_SHARE_READ only (FileShare::DenyWrite) and that handle is kept for the
// mapping's life: sharing is checked against open handles, and a mapping
// alone would let an exclusive writer in. The mapping object itself is
// closed at once; its view keeps it.
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
  const auto held = reinterpret_cast<intptr_t>(file);
  if (length.QuadPart == 0) return MappedFile(nullptr, 0, held);
  HANDLE mapping = ::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  const void* data =
      mapping == nullptr ? nullptr : ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (mapping != nullptr) ::CloseHandle(mapping);
  if (data == nullptr) {
    ::CloseHandle(file);
    return std::nullopt;
  }
  return MappedFile(static_cast<const char*>(data), static_cast<size_t>(length.QuadPart), held);
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) ::UnmapViewOfFile(data_);
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace quorvel::platform
