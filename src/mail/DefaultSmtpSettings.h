// The library-wide SMTP defaults: the host's parameters, the user's own
// settings found by discovery, or the built-in values that cannot be reached.
#pragma once

#include <cstdint>

namespace quorvel {

// Stores the host's SMTP parameters as the library-wide defaults (valid), or,
// with a null host, discovers the user's own; when discovery fails the
// built-in values are stored, not valid, and the answer is false.
bool SetDefaultSmtpSettings(const char* host, const char* address, uint16_t port,
                            const char* name);

}  // namespace quorvel
