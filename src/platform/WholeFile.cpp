#include "platform/WholeFile.h"

#include "platform/File.h"

namespace quorvel::platform {

std::optional<std::string> ReadWholeFile(const std::string& path) {
  try {
    auto file = File::Open(path, FileAccess::Read, FileShare::DenyWrite,
                           FileDisposition::OpenExisting);
    std::string content(file.Length(), '\0');
    content.resize(file.Read(content.data(), content.size()));
    return content;
  } catch (const FileError&) {
    return std::nullopt;
  }
}

}  // namespace quorvel::platform
