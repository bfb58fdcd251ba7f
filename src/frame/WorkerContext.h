// How a background worker shares the context of the thread that started it:
// it joins under the host's mutex for its lifetime, so every context lookup it
// makes finds the starter's settings, and leaves the same way at its end.
#pragma once

#include <cstdint>

#include "frame/ThreadContext.h"

namespace quorvel {

// Enters the calling (worker) thread for the context of `ownerThreadId`,
// holding `ownerMutex` meanwhile. The starter hands its context's mutex over
// when it starts the worker: the worker must not read it from a context that
// the host may remove before the worker runs. Null when the owner has no
// context by then.
ThreadContext* JoinContextOf(uint32_t ownerThreadId, MutexHandle ownerMutex);

// Removes the calling thread's entry under `mutex`, which the worker kept
// aside: the removal may destroy the context that held it.
void LeaveJoinedContext(MutexHandle mutex);

}  // namespace quorvel
