// Leaving holds the host's mutex so that the host can keep its own MTAddNew
// and MTRemove from running at the same moment; the host's mutex is handed
// to the worker, which must not read it from a context that its own leaving
// may destroy.
#include "frame/WorkerContext.h"

#include <memory>
#include <utility>

#include "frame/ContextTable.h"
#include "platform/Threads.h"

namespace quorvel {

namespace {

uint32_t RunWorker(ThreadContext* context, MutexHandle mutex,
                   const std::function<uint32_t(ThreadContext&)>& work) {
  const uint32_t result = work(*context);
  CompletionCallback callback = nullptr;
  uint32_t userValue = 0;
  {
    // The slot is free before the callback runs: the host may start its
    // next background operation from the callback or as soon as it returns.
    std::lock_guard hold(WorkerFieldsLock());
    callback = std::exchange(context->completionCallback, nullptr);
    userValue = context->completionUserValue;
    context->workerThread = nullptr;
    context->exchangeOperations.clear();
  }
  if (callback != nullptr) callback(userValue, result);
  LeaveJoinedContext(mutex);
  return result;
}

}  // namespace

void LeaveJoinedContext(MutexHandle mutex) {
  platform::LockHostMutex(mutex);
  Contexts().Remove(platform::CurrentThreadId());
  platform::UnlockHostMutex(mutex);
}

std::mutex& WorkerFieldsLock() {
  static std::mutex lock;
  return lock;
}

bool StartWorker(ThreadContext& context, CompletionCallback callback, uint32_t userValue,
                 std::function<uint32_t(ThreadContext&)> work,
                 const std::function<void()>& claimed) {
  std::lock_guard hold(WorkerFieldsLock());
  if (context.workerThread) return false;
  context.stopRequested = 0;
  context.suspendRequested = 0;
  context.percentSent = 0;
  context.completionUserValue = userValue;
  context.completionCallback = nullptr;
  if (claimed) claimed();
  ThreadContext* const joined = &context;
  const MutexHandle mutex = context.contextMutex;
  auto worker = platform::Thread::Create(
      [joined, mutex, work = std::move(work)] { return RunWorker(joined, mutex, work); }, true);
  if (!worker) return false;
  // The starter holds the context (it is entered for it), so the worker's
  // entry is made while the context surely lives, whoever leaves next.
  Contexts().Join(&context, worker->Id());
  context.workerThread = worker;
  context.completionCallback = callback;
  worker->Resume();
  return true;
}

}  // namespace quorvel
