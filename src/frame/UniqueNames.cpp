#include "frame/UniqueNames.h"

#include "platform/FileSystem.h"

namespace quorvel {

std::string UniqueFileName(const std::string& directory, std::string_view extension) {
  for (unsigned long n = 0;; ++n) {
    std::string path = directory + "~AT" + std::to_string(n) + "." + std::string(extension);
    if (!platform::IsExistingFile(path)) return path;
  }
}

}  // namespace quorvel
