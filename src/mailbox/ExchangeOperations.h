// Background exchange operations: a worker thread of the calling thread's
// context runs the queued receive and send runs one after the other on the
// context's mailbox, then calls the host's completion callback on its own
// thread with the combined result. A stop request ends the worker after the
// operation that is running; the operations themselves are not interrupted.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "frame/ThreadContext.h"
#include "quorvel/Handles.h"

namespace quorvel {

// Each is refused (false, nothing queued) without a context or open mailbox,
// or with its direction locked (both, for the combined one: with one locked,
// that operation fails inside the worker and the combined result is 0).
bool ThreadedSendItems(CompletionCallback callback, uint32_t userValue);
bool ThreadedReceiveItems(CompletionCallback callback, uint32_t userValue);
bool ThreadedReceiveAndSendItems(CompletionCallback callback, uint32_t userValue);

// Appends `operations` to the context's queue, then starts a worker unless
// one runs (false then: the operations stay queued for the running worker,
// which may or may not reach them). The worker runs the queue from its
// first operation, reading its length again after each, and answers 1 when
// every operation it ran succeeded.
bool StartExchangeOperations(ThreadContext& context,
                             std::initializer_list<ExchangeOperation> operations,
                             CompletionCallback callback, uint32_t userValue);

}  // namespace quorvel
