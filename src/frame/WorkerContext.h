// How a background worker shares the context of the thread that started it:
// the starter enters the worker's thread for its context when it starts it,
// so every context lookup the worker makes finds the starter's settings, and
// the worker leaves under the host's mutex at its end. Background sending and
// the background exchange operations share one worker slot per context,
// claimed and freed here.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "frame/ThreadContext.h"

namespace quorvel {

// Removes the calling thread's entry under `mutex`, which the worker kept
// aside: the removal may destroy the context that held it.
void LeaveJoinedContext(MutexHandle mutex);

// Guards the fields that the host's thread and the worker both write: the
// worker handle, the completion callback and the queue of exchange
// operations.
std::mutex& WorkerFieldsLock();

// Starts the calling thread's worker unless one runs (false then, and when
// no thread can be made): clears the stop and suspend requests and the
// percentage, keeps the user value, and runs `claimed` (may be empty) with
// the slot taken. The worker's thread is entered for the context before it
// runs, holding a reference of its own: it never depends on its starter
// staying (a worker's completion callback may start the next worker and
// end). The worker runs `work`, frees the slot (emptying the queue of
// exchange operations), calls `callback` (may be null) with the user value
// and the result, and leaves the context.
bool StartWorker(ThreadContext& context, CompletionCallback callback, uint32_t userValue,
                 std::function<uint32_t(ThreadContext&)> work,
                 const std::function<void()>& claimed = {});

}  // namespace quorvel
