// The stop and suspend requests that a host thread sets for a long operation
// running on another thread (a context's stopRequested and suspendRequested).
// The operation looks at them at fixed checkpoints and only ever clears them.
#pragma once

#include <atomic>
#include <cstdint>

namespace quorvel {

struct RequestFlags {
  std::atomic<uint8_t>* stop = nullptr;  // each may be null
  std::atomic<uint8_t>* suspend = nullptr;
};

// A set stop request is cleared and answers true. Otherwise a set suspend
// request is cleared and the calling thread suspends itself until another
// thread resumes it; then false.
bool StopRequestedAtCheckpoint(const RequestFlags& flags);

}  // namespace quorvel
