// The context's worker handle and completion callback are written by the
// host's thread and by the worker: one lock guards them. The stop and
// suspend requests and the percentage are atomics of the context, polled at
// the checkpoints of the composer and the SMTP client.
#include "mail/ThreadedSend.h"

#include <memory>
#include <mutex>
#include <utility>

#include "frame/ContextTable.h"
#include "frame/WorkerContext.h"
#include "mail/SendFunctions.h"
#include "platform/Threads.h"

namespace quorvel {

namespace {

// The tick of the waits, in milliseconds: they also end as soon as the
// worker ends.
constexpr uint32_t kWaitTick = 10;

std::mutex& WorkerFieldsLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<platform::Thread> WorkerOf(const ThreadContext* context) {
  if (context == nullptr) return nullptr;
  std::lock_guard hold(WorkerFieldsLock());
  return context->workerThread;
}

uint32_t RunWorker(MailData* mail, uint32_t ownerThreadId, MutexHandle mutex) {
  ThreadContext* context = JoinContextOf(ownerThreadId, mutex);
  if (context == nullptr) return 0;
  const uint32_t result = DeliverMailData(*mail) ? 1 : 0;
  CompletionCallback callback = nullptr;
  uint32_t userValue = 0;
  {
    // The slot is free before the callback runs: the host may start its
    // next background send from the callback or as soon as it returns.
    std::lock_guard hold(WorkerFieldsLock());
    callback = std::exchange(context->completionCallback, nullptr);
    userValue = context->completionUserValue;
    context->workerThread = nullptr;
  }
  if (callback != nullptr) callback(userValue, result);
  LeaveJoinedContext(mutex);
  return result;
}

}  // namespace

bool ThreadedSendMail(MailData* mail, CompletionCallback callback, uint32_t userValue) {
  ThreadContext* context = CallingContext();
  if (context == nullptr || mail == nullptr) return false;
  std::lock_guard hold(WorkerFieldsLock());
  if (context->workerThread) return false;
  context->stopRequested = 0;
  context->suspendRequested = 0;
  context->percentSent = 0;
  context->completionUserValue = userValue;
  context->completionCallback = nullptr;
  const uint32_t owner = platform::CurrentThreadId();
  mail->ownerThreadId = owner;
  const MutexHandle mutex = context->contextMutex;
  auto worker = platform::Thread::Create([=] { return RunWorker(mail, owner, mutex); }, true);
  if (!worker) return false;
  context->workerThread = worker;
  context->completionCallback = callback;
  worker->Resume();
  return true;
}

bool StopThreadedSend() {
  ThreadContext* context = CallingContext();
  const std::shared_ptr<platform::Thread> worker = WorkerOf(context);
  if (!worker) return false;
  context->stopRequested = 1;
  platform::SetCurrentThreadPriority(platform::kPriorityLowest);
  worker->SetPriority(platform::kPriorityHighest);
  // A suspended worker sees the request once resumed; one past its last
  // checkpoint never clears it, but ends.
  while (context->stopRequested.load() != 0 && !worker->IsSuspended() && !worker->Wait(kWaitTick)) {
  }
  platform::SetCurrentThreadPriority(platform::kPriorityNormal);
  return true;
}

bool SuspendThreadedSend() {
  ThreadContext* context = CallingContext();
  const std::shared_ptr<platform::Thread> worker = WorkerOf(context);
  if (!worker) return false;
  context->suspendRequested = 1;
  while (context->suspendRequested.load() != 0 && !worker->Wait(kWaitTick)) {
  }
  return context->suspendRequested.load() == 0;
}

bool ResumeThreadedSend() {
  ThreadContext* context = CallingContext();
  const std::shared_ptr<platform::Thread> worker = WorkerOf(context);
  if (!worker) return false;
  context->suspendRequested = 0;
  return worker->Resume();
}

}  // namespace quorvel
