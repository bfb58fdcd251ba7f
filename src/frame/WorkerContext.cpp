// Joining and leaving hold the host's mutex so that the host can keep its own
// MTAddNew and MTRemove from running at the same moment.
#include "frame/WorkerContext.h"

#include "frame/ContextTable.h"
#include "platform/Threads.h"

namespace quorvel {

ThreadContext* JoinContextOf(uint32_t ownerThreadId) {
  ThreadContext* context = Contexts().Find(ownerThreadId);
  if (context == nullptr) return nullptr;
  const MutexHandle mutex = context->contextMutex;
  platform::LockHostMutex(mutex);
  Contexts().Join(context, platform::CurrentThreadId());
  platform::UnlockHostMutex(mutex);
  return context;
}

void LeaveJoinedContext(MutexHandle mutex) {
  platform::LockHostMutex(mutex);
  Contexts().Remove(platform::CurrentThreadId());
  platform::UnlockHostMutex(mutex);
}

}  // namespace quorvel
