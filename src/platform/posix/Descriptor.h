// A file descriptor that closes itself, and the fast copy between two of them.
#pragma once

#include <unistd.h>

#include <cstdint>

namespace quorvel::platform {

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool valid() const { return fd_ >= 0; }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Copies `length` bytes (or up to the end) from the current offset of `from`
// to `to`, in the kernel where it can.
bool CopyDescriptorContents(int from, int to, uint64_t length);

}  // namespace quorvel::platform
