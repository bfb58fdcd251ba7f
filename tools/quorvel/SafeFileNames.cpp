#include "SafeFileNames.h"

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel::tool {

namespace {

constexpr int kMaxAttempts = 10000;

enum class Creation { Created, Taken, Failed };

// Exclusive creation: never opens a name that is taken, even by a link (the
// C library's "x" mode would do, but Windows' C runtime ignores it and
// truncates the file).
Creation CreateNew(const std::string& path) {
  using namespace platform;
  if (File::TryOpen(path, FileAccess::Write, FileShare::DenyNone, FileDisposition::CreateNew)) {
    return Creation::Created;
  }
  return IsExistingFile(path) || IsExistingDirectory(path) ? Creation::Taken : Creation::Failed;
}

}  // namespace

std::string SafeFileName(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
  std::string safe;
  for (const char c : last) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) safe += c;
  }
  if (safe.empty() || safe == "." || safe == "..") return "file";
  return safe;
}

std::optional<std::string> ReserveSafeName(const std::string& directory, const std::string& name) {
  const std::string safe = SafeFileName(name);
  const size_t dot = safe.rfind('.');
  const bool hasExtension = dot != std::string::npos && dot != 0;
  const std::string stem = hasExtension ? safe.substr(0, dot) : safe;
  const std::string extension = hasExtension ? safe.substr(dot) : "";
  const std::string folder = platform::NormaliseDirectory(directory);
  for (int n = 1; n <= kMaxAttempts; ++n) {
    const std::string candidate =
        folder + (n == 1 ? safe : stem + " (" + std::to_string(n) + ")" + extension);
    const Creation creation = CreateNew(candidate);
    if (creation == Creation::Created) return candidate;
    if (creation == Creation::Failed) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace quorvel::tool
