#include "frame/ReceiveLimits.h"

#include "frame/ContextTable.h"
#include "frame/ErrorCodes.h"
#include "frame/ThreadContext.h"

namespace quorvel {

ReceiveLimits CallingReceiveLimits() {
  const ThreadContext* context = CallingContext();
  return context == nullptr ? ReceiveLimits() : context->receiveLimits;
}

bool SetReceiveLimits(ThreadContext* context, uint32_t timeoutMs, uint64_t largestMessage) {
  if (context == nullptr) return false;
  context->lastError = kErrorNone;
  context->receiveLimits.timeoutMs = timeoutMs == 0 ? kDefaultReceiveTimeoutMs : timeoutMs;
  context->receiveLimits.largestMessage =
      largestMessage == 0 ? kDefaultLargestMessage : largestMessage;
  return true;
}

}  // namespace quorvel
