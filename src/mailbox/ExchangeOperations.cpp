// The queue is read and appended to under the worker-fields lock: the host's
// thread may append while the worker reads its length.
#include "mailbox/ExchangeOperations.h"

#include <mutex>
#include <optional>

#include "frame/ContextTable.h"
#include "frame/WorkerContext.h"
#include "mailbox/Mailbox.h"
#include "mailbox/MailboxContext.h"
#include "mailbox/OutboundSending.h"
#include "mailbox/Receiving.h"

namespace quorvel {

namespace {

// The operations find the context under the worker's own thread id, which
// joined the starter's context.
bool SendOperation() { return SendQueuedItems(CallingContext()); }
bool ReceiveOperation() { return ReceiveMails(CallingContext()); }

std::optional<ExchangeOperation> QueuedOperation(const ThreadContext& context, size_t i) {
  std::lock_guard hold(WorkerFieldsLock());
  if (i >= context.exchangeOperations.size()) return std::nullopt;
  return context.exchangeOperations[i];
}

uint32_t RunQueue(ThreadContext& context) {
  bool result = true;
  for (size_t i = 0;; ++i) {
    const std::optional<ExchangeOperation> operation = QueuedOperation(context, i);
    if (!operation) break;
    result = (*operation)() && result;
    if (context.stopRequested.load() != 0) break;
  }
  return result ? 1 : 0;
}

// The starter's checks: a context with an open mailbox, and not every
// direction asked for locked.
ThreadContext* StartableContext(uint32_t lockedWhen) {
  ThreadContext* context = CallingContext();
  if (MailboxOf(context) == nullptr) return nullptr;
  if ((context->lockingMode & lockedWhen) == lockedWhen) return nullptr;
  return context;
}

}  // namespace

bool StartExchangeOperations(ThreadContext& context,
                             std::initializer_list<ExchangeOperation> operations,
                             CompletionCallback callback, uint32_t userValue) {
  {
    std::lock_guard hold(WorkerFieldsLock());
    context.exchangeOperations.insert(context.exchangeOperations.end(), operations);
  }
  return StartWorker(context, callback, userValue, RunQueue);
}

bool ThreadedSendItems(CompletionCallback callback, uint32_t userValue) {
  ThreadContext* context = StartableContext(kLockSending);
  return context != nullptr &&
         StartExchangeOperations(*context, {SendOperation}, callback, userValue);
}

bool ThreadedReceiveItems(CompletionCallback callback, uint32_t userValue) {
  ThreadContext* context = StartableContext(kLockReceiving);
  return context != nullptr &&
         StartExchangeOperations(*context, {ReceiveOperation}, callback, userValue);
}

bool ThreadedReceiveAndSendItems(CompletionCallback callback, uint32_t userValue) {
  ThreadContext* context = StartableContext(kLockSending | kLockReceiving);
  return context != nullptr && StartExchangeOperations(*context, {ReceiveOperation, SendOperation},
                                                       callback, userValue);
}

}  // namespace quorvel
