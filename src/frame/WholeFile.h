// A whole file read into memory in one call: the platform's reader, which the
// tool's host commands use without the rest of the library.
#pragma once

#include "platform/WholeFile.h"

namespace quorvel {

using platform::ReadWholeFile;

}  // namespace quorvel
