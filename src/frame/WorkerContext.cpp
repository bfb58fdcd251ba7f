// Joining and leaving hold the host's mutex so that the host can keep its own
// MTAddNew and MTRemove from running at the same moment.
#include "frame/WorkerContext.h"

#include "frame/ContextTable.h"
#include "platform/Threads.h"

namespace quorvel {

ThreadContext* JoinContextOf(uint32_t ownerThreadId, MutexHandle ownerMutex) {
  platform::LockHostMutex(ownerMutex);
  ThreadContext* context = Contexts().JoinOwner(ownerThreadId, platform::CurrentThreadId());
  platform::UnlockHostMutex(ownerMutex);
  return context;
}

void LeaveJoinedContext(MutexHandle mutex) {
  platform::LockHostMutex(mutex);
  Contexts().Remove(platform::CurrentThreadId());
  platform::UnlockHostMutex(mutex);
}

}  // namespace quorvel
