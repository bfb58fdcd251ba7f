// Windows error codes as the library's file failures.
#pragma once

#include <windows.h>

#include "platform/File.h"

namespace quorvel::platform {

FileError::Cause FileErrorCause(DWORD error);
// The Windows error of an injected failure (an errno value of the fault plan).
DWORD SystemErrorOfInjected(int injected);

}  // namespace quorvel::platform
