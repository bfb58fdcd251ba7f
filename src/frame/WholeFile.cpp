#include "frame/WholeFile.h"

#include "platform/File.h"

namespace quorvel {

std::optional<std::string> ReadWholeFile(const std::string& path) {
  try {
    auto file = platform::File::Open(path, platform::FileAccess::Read,
                                     platform::FileShare::DenyWrite,
                                     platform::FileDisposition::OpenExisting);
    std::string content(file.Length(), '\0');
    content.resize(file.Read(content.data(), content.size()));
    return content;
  } catch (const platform::FileError&) {
    return std::nullopt;
  }
}

}  // namespace quorvel
