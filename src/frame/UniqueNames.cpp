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
  uint32_t first = 0;
  return UniqueNameFrom(first, extension, directory, prefix);
}

std::string UniqueNameFrom(uint32_t& number, const std::string& extension,
                           const std::string& directory, const std::string& prefix) {
  const std::string base = (directory.empty() ? platform::TemporaryDirectory() : directory) + prefix;
  // A name whose creation failed but that is gone when looked at was held
  // by another thread or process that has just let it go: it is tried again.
  // Only a name that is neither creatable nor there, time after time, means
  // the directory itself refuses.
  constexpr int kTriesOfOneName = 8;
  for (uint32_t n = number; n < UINT32_MAX; ++n) {
    const std::string candidate = base + std::to_string(n) + "." + extension;
    bool taken = false;
    for (int attempt = 0; attempt < kTriesOfOneName && !taken; ++attempt) {
      if (platform::File::TryOpen(candidate, platform::FileAccess::Write,
                                  platform::FileShare::DenyNone,
                                  platform::FileDisposition::CreateNew)) {
        number = n;
        return candidate;
      }
      taken = platform::IsExistingFile(candidate) || platform::IsExistingDirectory(candidate);
    }
    if (!taken) break;
  }
  return std::string();
}

}  // namespace quorvel
