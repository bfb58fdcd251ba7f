// Windows paths: "\" separates (and "/" is read as one), a drive letter
// ("C:\") or a network share ("\\server\share\") leads an absolute path.
#include "platform/Paths.h"

#include <windows.h>

namespace quorvel::platform {

const char kPathSeparator = '\\';
const char kPathSeparators[] = "\\/";

namespace {

constexpr size_t kLongestPath = MAX_PATH - 1;  // without the terminating NUL
constexpr size_t kLongestComponent = 255;

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

size_t NextSeparator(std::string_view path, size_t from) {
  while (from < path.size() && !IsPathSeparator(path[from])) ++from;
  return from;
}

// "\\server\share\": both names present, the share followed by a separator.
std::optional<size_t> SharePrefixLength(std::string_view path) {
  const size_t serverEnd = NextSeparator(path, 2);
  if (serverEnd == 2 || serverEnd >= path.size()) return std::nullopt;
  const size_t shareEnd = NextSeparator(path, serverEnd + 1);
  if (shareEnd == serverEnd + 1 || shareEnd >= path.size()) return std::nullopt;
  return shareEnd + 1;
}

}  // namespace

std::optional<size_t> UncreatedPrefixLength(std::string_view path) {
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
    // "C:name" is relative to the drive's current directory: not accepted.
    if (path.size() >= 3 && IsPathSeparator(path[2])) return 3;
    return std::nullopt;
  }
  if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    return SharePrefixLength(path);
  }
  const size_t first = NextSeparator(path, 0);
  if (first == path.size()) return std::nullopt;
  return first + 1;  // "\" for the current drive's root, "name\" for a relative path
}

bool IsPathWithinSystemLimits(std::string_view path) {
  if (path.size() > kLongestPath) return false;
  for (size_t start = 0; start <= path.size();) {
    const size_t end = NextSeparator(path, start);
    if (end - start > kLongestComponent) return false;
    start = end + 1;
  }
  return true;
}

std::string TemporaryDirectory() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathA(sizeof buffer, buffer);
  std::string directory = (length == 0 || length > MAX_PATH) ? std::string(".") : std::string(buffer, length);
  if (!IsPathSeparator(directory.back())) directory += kPathSeparator;
  return directory;
}

std::string ExecutableDirectory() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  const std::string path(buffer, length > MAX_PATH ? 0 : length);
  const size_t last = path.find_last_of("\\/");
  return last == std::string::npos ? std::string(".") + kPathSeparator : path.substr(0, last + 1);
}

}  // namespace quorvel::platform
