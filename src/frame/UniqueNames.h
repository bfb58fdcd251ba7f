// Unique file names in a directory: "~AT" + n + "." + extension, n counting
// up from 0 to the first name for which no file exists yet.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// `directory` ends with the path separator (or is empty for the current one).
std::string UniqueFileName(const std::string& directory, std::string_view extension);

}  // namespace quorvel
