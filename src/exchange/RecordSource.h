// The bytes a record file is read from: its file on disk, or the whole file
// unpacked in memory (a received item read without a copy on disk). Reads as
// platform::File reads; a file's errors are its FileError.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/File.h"

namespace quorvel::exchange {

class RecordSource {
 public:
  explicit RecordSource(platform::File& file) : file_(&file) {}
  explicit RecordSource(const std::string& memory) : memory_(&memory) {}

  size_t Read(void* buffer, size_t size) {
    if (file_ != nullptr) return file_->Read(buffer, size);
    const uint64_t left = position_ < memory_->size() ? memory_->size() - position_ : 0;
    const size_t got = static_cast<size_t>(std::min<uint64_t>(size, left));
    if (got != 0) std::memcpy(buffer, memory_->data() + position_, got);
    position_ += got;
    return got;
  }
  // From the start only, as the readers seek.
  uint64_t SeekTo(uint64_t offset) {
    if (file_ != nullptr) {
      return file_->Seek(static_cast<int64_t>(offset), platform::SeekOrigin::Begin);
    }
    position_ = offset;
    return position_;
  }
  uint64_t Length() const { return file_ != nullptr ? file_->Length() : memory_->size(); }

 private:
  platform::File* file_ = nullptr;
  const std::string* memory_ = nullptr;
  uint64_t position_ = 0;
};

}  // namespace quorvel::exchange
