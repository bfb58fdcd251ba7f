// POSIX paths: "/" separates, the root "/" plays the part of a drive.
#include "platform/Paths.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace quorvel::platform {

const char kPathSeparator = '/';
const char kPathSeparators[] = "/";

std::optional<size_t> UncreatedPrefixLength(std::string_view path) {
  const size_t first = path.find(kPathSeparator);
  if (first == std::string_view::npos) return std::nullopt;
  return first + 1;  // "/" for an absolute path, "name/" for a relative one
}

bool IsPathWithinSystemLimits(std::string_view path) {
  if (path.size() >= PATH_MAX) return false;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find(kPathSeparator, start);
    if (end == std::string_view::npos) end = path.size();
    if (end - start > NAME_MAX) return false;
    start = end + 1;
  }
  return true;
}

std::string TemporaryDirectory() {
  const char* fromEnvironment = std::getenv("TMPDIR");
  std::string directory = (fromEnvironment != nullptr && *fromEnvironment != '\0')
                              ? fromEnvironment
                              : "/tmp";
  if (directory.back() != kPathSeparator) directory += kPathSeparator;
  return directory;
}

std::string ExecutableDirectory() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return std::string(".") + kPathSeparator;
  std::string path(buffer, static_cast<size_t>(length));
  const size_t last = path.rfind(kPathSeparator);
  return last == std::string::npos ? std::string(".") + kPathSeparator
                                   : path.substr(0, last + 1);
}

}  // namespace quorvel::platform
