// A whole file read into memory in one call (other readers allowed).
#pragma once

#include <optional>
#include <string>

namespace quorvel::platform {

// Empty when the file cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace quorvel::platform
