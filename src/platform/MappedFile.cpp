// What a mapping is on every system; opening and closing one are each
// system's own (posix/, win32/).
#include "platform/MappedFile.h"

namespace quorvel::platform {

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(other.data_), size_(other.size_), handle_(other.handle_) {
  other.data_ = nullptr;
  other.size_ = 0;
  other.handle_ = -1;
}

}  // namespace quorvel::platform
