// The parts of a path, cut at the system's separators.
#include "platform/Paths.h"

namespace quorvel::platform {

std::string NormaliseDirectory(std::string_view path) {
  std::string normalised(path);
  if (!normalised.empty() && !IsPathSeparator(normalised.back())) normalised += kPathSeparator;
  return normalised;
}

std::string FileNameOf(std::string_view path) {
  const size_t separator = path.find_last_of(kPathSeparators);
  return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

std::string DirectoryOf(std::string_view path) {
  const size_t separator = path.find_last_of(kPathSeparators);
  return std::string(separator == std::string_view::npos ? std::string_view()
                                                         : path.substr(0, separator + 1));
}

}  // namespace quorvel::platform
