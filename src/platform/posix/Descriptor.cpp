// Kernel-side copying (copy_file_range) with a plain read/write fallback.
#include "platform/posix/Descriptor.h"

#include <cerrno>
#include <vector>

namespace quorvel::platform {

namespace {

bool CopyByBuffer(int from, int to) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(to, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += put;
    }
  }
}

}  // namespace

bool CopyDescriptorContents(int from, int to, uint64_t length) {
  uint64_t copied = 0;
  while (copied < length) {
    const ssize_t moved = ::copy_file_range(from, nullptr, to, nullptr, length - copied, 0);
    if (moved == 0) return true;  // the file was shorter than announced
    if (moved < 0) {
      if (errno == EINTR) continue;
      if (copied == 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                          errno == EOPNOTSUPP)) {
        return CopyByBuffer(from, to);
      }
      return false;
    }
    copied += static_cast<uint64_t>(moved);
  }
  return CopyByBuffer(from, to);  // whatever grew after the length was taken
}

}  // namespace quorvel::platform
