// mmap of the whole file, its pages mapped at once (MAP_POPULATE where the
// system has it) rather than one fault at a time. The descriptor holds a
// shared flock, as File does for FileShare::DenyWrite.
#include "platform/MappedFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::platform {

namespace {
#ifdef MAP_POPULATE
constexpr int kPopulate = MAP_POPULATE;
#else
constexpr int kPopulate = 0;
#endif
}  // namespace

std::optional<MappedFile> MappedFile::Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  const auto size = static_cast<size_t>(info.st_size);
  if (size == 0) return MappedFile(nullptr, 0, fd);
  void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | kPopulate, fd, 0);
  if (data == MAP_FAILED) {
    ::close(fd);
    return std::nullopt;
  }
  return MappedFile(static_cast<const char*>(data), size, fd);
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) ::munmap(const_cast<char*>(data_), size_);
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

}  // namespace quorvel::platform
