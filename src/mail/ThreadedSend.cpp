// The worker slot and its lock are shared with the background exchange
// operations (frame/WorkerContext). The stop and
// suspend requests and the percentage are atomics of the context, polled at
// the checkpoints of the composer and the SMTP client.
#include "mail/ThreadedSend.h"

#include <memory>
#include <mutex>

#include "frame/ContextTable.h"
#include "frame/WorkerContext.h"
#include "mail/SendFunctions.h"
#include "platform/Threads.h"

namespace quorvel {

namespace {

// The tick of the waits, in milliseconds: they also end as soon as the
// worker ends.
constexpr uint32_t kWaitTick = 10;

std::shared_ptr<platform::Thread> WorkerOf(const ThreadContext* context) {
  if (context == nullptr) return nullptr;
  std::lock_guard hold(WorkerFieldsLock());
  return context->workerThread;
}

// A request the worker makes itself (from a progress callback, which runs on
// the worker's thread) is obeyed at its next checkpoint: it cannot wait for
// itself.
bool IsCallingThread(const platform::Thread& worker) {
  return worker.Id() == platform::CurrentThreadId();
}

}  // namespace

bool ThreadedSendMail(MailData* mail, CompletionCallback callback, uint32_t userValue) {
  ThreadContext* context = CallingContext();
  if (context == nullptr || mail == nullptr) return false;
  return StartWorker(
      *context, callback, userValue,
      [mail](ThreadContext&) -> uint32_t { return DeliverMailData(*mail) ? 1 : 0; },
      [mail] { mail->ownerThreadId = platform::CurrentThreadId(); });
}

bool StopThreadedSend() {
  ThreadContext* context = CallingContext();
  const std::shared_ptr<platform::Thread> worker = WorkerOf(context);
  if (!worker) return false;
  context->stopRequested = 1;
  if (IsCallingThread(*worker)) return true;
  const platform::WaitingPriority waiting;
  worker->SetPriority(platform::kPriorityHighest);
  // A suspended worker sees the request once resumed; one past its last
  // checkpoint never clears it, but ends.
  while (context->stopRequested.load() != 0 && !worker->IsSuspended() && !worker->Wait(kWaitTick)) {
  }
  return true;
}

bool SuspendThreadedSend() {
  ThreadContext* context = CallingContext();
  const std::shared_ptr<platform::Thread> worker = WorkerOf(context);
  if (!worker) return false;
  context->suspendRequested = 1;
  if (IsCallingThread(*worker)) return false;  // not suspended yet
  // A worker suspended already (a second request) never clears the flag.
  while (context->suspendRequested.load() != 0 && !worker->IsSuspended() &&
         !worker->Wait(kWaitTick)) {
  }
  return context->suspendRequested.load() == 0 || worker->IsSuspended();
}

bool ResumeThreadedSend() {
  ThreadContext* context = CallingContext();
  const std::shared_ptr<platform::Thread> worker = WorkerOf(context);
  if (!worker) return false;
  context->suspendRequested = 0;
  // Resuming a worker that runs is no failure; one that has ended is.
  return worker->Resume() || !worker->HasEnded();
}

}  // namespace quorvel
