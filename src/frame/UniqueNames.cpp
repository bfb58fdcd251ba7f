// Exclusive creation is the test and the taking in one system call; a name
// that exists in any form is passed over, any other failure ends the search.
#include "frame/UniqueNames.h"

#include <cstdint>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {

std::string UniqueTempName(const std::string& extension, const std::string& directory,
                           const std::string& prefix) {
  const std::string base = (directory.empty() ? platform::TemporaryDirectory() : directory) + prefix;
  for (uint32_t n = 0; n < UINT32_MAX; ++n) {
    std::string candidate = base + std::to_string(n) + "." + extension;
    if (platform::File::TryOpen(candidate, platform::FileAccess::Write,
                                platform::FileShare::DenyNone,
                                platform::FileDisposition::CreateNew)) {
      return candidate;
    }
    if (!platform::IsExistingFile(candidate) && !platform::IsExistingDirectory(candidate)) break;
  }
  return std::string();
}

}  // namespace quorvel
