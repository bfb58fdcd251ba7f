// Filling the registry that the library reads: the tests set the values each
// reader looks for, then empty it again. Test-only: it lives in
// quorvel_platform_testing, which the library never links; the library
// itself only reads.
#pragma once

#include <string_view>

#include "platform/Registry.h"

namespace quorvel::platform {

// Creates root\path as needed and sets one string value (an empty name sets
// the default value).
void SetRegistryString(RegistryRoot root, std::string_view path, std::string_view name,
                       std::string_view value);
// Takes back everything SetRegistryString wrote (on POSIX: empties the
// in-memory tree).
void ClearRegistry();

}  // namespace quorvel::platform
