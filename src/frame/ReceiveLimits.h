// A context's bounds on POP receiving, an extension a host may change: the
// time-out of the receiving client and the largest message it takes. The
// POP client takes them from the calling thread's context, so they reach the
// mail layer's receive and the exchange layer's POP accounts alike.
#pragma once

#include <cstdint>

namespace quorvel {

struct ThreadContext;

inline constexpr uint32_t kDefaultReceiveTimeoutMs = 90000;
inline constexpr uint64_t kDefaultLargestMessage = 100ull * 1024 * 1024;

struct ReceiveLimits {
  // Each blocking step; during message data also the time in which each
  // kPopLeastBytesPerTimeout bytes must follow the previous ones.
  uint32_t timeoutMs = kDefaultReceiveTimeoutMs;
  // A message the server lists as larger, or that grows larger while it
  // arrives, is left on the server.
  uint64_t largestMessage = kDefaultLargestMessage;
};

// The calling thread's bounds; the defaults without a context.
ReceiveLimits CallingReceiveLimits();

// The setter of the extension export: 0 stands for the default of each.
// False without a context (nothing changed).
bool SetReceiveLimits(ThreadContext* context, uint32_t timeoutMs, uint64_t largestMessage);

}  // namespace quorvel
