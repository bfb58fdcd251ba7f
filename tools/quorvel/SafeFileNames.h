// Names under which quorvel mailbox extract writes an item's files: a stored
// display name comes from whoever wrote the item, so it is reduced to a plain
// file name and never replaces a file that exists.
#pragma once

#include <optional>
#include <string>

namespace quorvel::tool {

// The last path component of `name` (after "/" or "\"), without control
// characters; "file" when nothing usable is left ("", "." or "..").
std::string SafeFileName(const std::string& name);

// Creates a new empty file in `directory` under the safe form of `name`, or,
// when that exists, under "stem (2).ext", "stem (3).ext", ... and answers its
// path. The file is created exclusively, so nothing is ever overwritten.
std::optional<std::string> ReserveSafeName(const std::string& directory, const std::string& name);

}  // namespace quorvel::tool
