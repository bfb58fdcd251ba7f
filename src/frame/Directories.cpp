// Level-by-level creation walks the separators after the uncreated prefix and
// makes each level that is not yet a directory.
#include "frame/Directories.h"

#include <vector>

#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {

bool CreateDirectoryPath(std::string_view path) {
  const std::string normalised = NormaliseDirectory(path);
  const std::optional<size_t> prefix = platform::UncreatedPrefixLength(normalised);
  if (!prefix || !platform::IsPathWithinSystemLimits(normalised)) return false;
  std::vector<std::string> created;
  const char* separators = platform::kPathSeparators;
  for (size_t end = normalised.find_first_of(separators, *prefix); end != std::string::npos;
       end = normalised.find_first_of(separators, end + 1)) {
    std::string level = normalised.substr(0, end + 1);
    if (platform::IsExistingDirectory(level)) continue;
    if (!platform::MakeDirectory(level)) {
      // A failure half-way leaves no part of the tree behind.
      for (auto made = created.rbegin(); made != created.rend(); ++made) {
        platform::RemoveEmptyDirectory(*made);
      }
      return false;
    }
    created.push_back(std::move(level));
  }
  return true;
}

std::optional<std::string> ExistingOrCreatedDirectory(const char* path) {
  if (path == nullptr) return std::nullopt;
  if (!platform::IsExistingDirectory(path) && !CreateDirectoryPath(path)) return std::nullopt;
  return NormaliseDirectory(path);
}

}  // namespace quorvel
