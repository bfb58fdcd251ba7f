// Directory paths as the library keeps them: normalised with a trailing
// separator, and created level by level when they do not exist.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Paths.h"

namespace quorvel {

using platform::NormaliseDirectory;

// Creates every missing level of a directory path. The leading part that
// names the drive or root (or, for a relative path, its first component) is
// never created; a path without a separator fails, as does one longer than
// the system can hold. A failure removes the levels it created.
bool CreateDirectoryPath(std::string_view path);

// The directory setters' rule: an existing directory, or one that could be
// created, answers its normalised path; a null or uncreatable one, nothing.
std::optional<std::string> ExistingOrCreatedDirectory(const char* path);

}  // namespace quorvel
