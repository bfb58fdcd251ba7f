// The calling thread's error message, from the public table.
#include "frame/ErrorCodes.h"

#include "frame/ContextTable.h"

namespace quorvel {

std::string ErrorMessageFor() {
  const ThreadContext* context = CallingContext();
  return context == nullptr ? std::string() : std::string(ErrorMessage(context->lastError));
}

void SetCallersLastError(uint32_t code) {
  if (ThreadContext* context = CallingContext()) context->lastError = code;
}

}  // namespace quorvel
