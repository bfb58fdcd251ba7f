// The predefined key of each registry root, for the reader and for the
// tests that fill the registry.
#pragma once

#include <windows.h>

#include "platform/Registry.h"

namespace quorvel::platform {

HKEY RootKey(RegistryRoot root);

}  // namespace quorvel::platform
