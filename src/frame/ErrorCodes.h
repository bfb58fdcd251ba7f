// The error codes of the mail layer: the codes and their messages are the
// public table of quorvel/ErrorCodes.h; here is the lookup for the calling
// thread. The messages appear only in log files.
#pragma once

#include <cstdint>
#include <string>

#include "quorvel/ErrorCodes.h"

namespace quorvel {

// The message of the calling thread's last error; empty without a context.
std::string ErrorMessageFor();
// Sets the calling thread's last error; nothing without a context.
void SetCallersLastError(uint32_t code);

}  // namespace quorvel
