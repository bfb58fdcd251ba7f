// Path conventions of the operating system: the separator, the leading part of
// a path that names a drive or root, and the directories the system hands out.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::platform {

// The one separator every path of the library is built with.
extern const char kPathSeparator;
// Every separator the system reads in a path: "/" on POSIX; "\\" and "/" on
// Windows.
extern const char kPathSeparators[];
inline bool IsPathSeparator(char c) {
  for (const char* separator = kPathSeparators; *separator != '\0'; ++separator) {
    if (c == *separator) return true;
  }
  return false;
}

// Appends the separator to a non-empty path that does not end with one.
std::string NormaliseDirectory(std::string_view path);

// The last component of `path`: what follows its last separator (the whole
// path when it has none).
std::string FileNameOf(std::string_view path);
// `path` up to and with its last separator; "" when it has none.
std::string DirectoryOf(std::string_view path);

// Length of the leading part of a normalised directory path that is never
// created when the path is created level by level: the drive or the network
// server on Windows, the root "/" on POSIX, and for a relative path everything
// up to and including its first separator. Empty when the path has no
// separator or starts with one in a form the system does not accept.
std::optional<size_t> UncreatedPrefixLength(std::string_view path);

// Whether the system can hold a path this long, with no component longer
// than it allows.
bool IsPathWithinSystemLimits(std::string_view path);

// The system's temporary directory, with a trailing separator.
std::string TemporaryDirectory();

// The directory of the host's executable file, with a trailing separator.
std::string ExecutableDirectory();

}  // namespace quorvel::platform
