// A context's mailbox: opening one for the calling thread's context (which
// closes the one it had) and the locking mode of its exchange operations.
#pragma once

#include <cstdint>

#include "frame/ThreadContext.h"

namespace quorvel {

inline constexpr uint32_t kLockSending = 0x1;
inline constexpr uint32_t kLockReceiving = 0x2;

// Opens base directory + `name` + "/mailbox/" (both created when missing)
// as the context's mailbox. On failure the context is left without one.
bool OpenContextMailbox(const char* baseDirectory, const char* name);

// Stores the mode; answers the previous one, 0 without a context.
uint32_t SetLockingMode(ThreadContext* context, uint32_t mode);

}  // namespace quorvel
