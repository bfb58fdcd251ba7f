// A whole file mapped read-only into memory: its bytes can be looked at
// without reading them into a buffer of one's own (no copy, no fresh pages).
// While the mapping lives the file is held with FileShare::DenyWrite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::platform {

class MappedFile {
 public:
  // Null when the file cannot be opened or mapped. An empty file maps to no
  // bytes.
  static std::optional<MappedFile> Open(const std::string& path);
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&&) = delete;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  std::string_view Bytes() const { return {data_, size_}; }

 private:
  MappedFile(const char* data, size_t size, intptr_t handle)
      : data_(data), size_(size), handle_(handle) {}
  const char* data_ = nullptr;
  size_t size_ = 0;
  intptr_t handle_ = -1;  // the open file that holds the share
};

}  // namespace quorvel::platform
