#include "frame/UniqueNames.h"

#include <cstdint>

#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {

std::string UniqueTempName(const std::string& extension, const std::string& directory,
                           const std::string& prefix) {
  const std::string base = (directory.empty() ? platform::TemporaryDirectory() : directory) + prefix;
  for (uint32_t n = 0;; ++n) {
    std::string candidate = base + std::to_string(n) + "." + extension;
    if (!platform::IsExistingFile(candidate) || n == UINT32_MAX) return candidate;
  }
}

}  // namespace quorvel
