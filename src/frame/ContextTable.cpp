// The table takes its own lock around every access: host threads each touch
// their own entry, but workers join and leave at any time, and an unordered
// map must not be read while another thread inserts.
#include "frame/ContextTable.h"

#include <new>
#include <unordered_set>

#include "platform/Threads.h"

namespace quorvel {

ContextTable::~ContextTable() { DestroyAll(); }

ThreadContext* ContextTable::Find(uint32_t threadId) const {
  std::lock_guard hold(lock_);
  const auto found = contexts_.find(threadId);
  return found == contexts_.end() ? nullptr : found->second;
}

bool ContextTable::AddNew(uint32_t threadId, MutexHandle mutex) {
  std::lock_guard hold(lock_);
  if (contexts_.count(threadId) != 0) return true;
  auto context = std::make_unique<ThreadContext>();
  context->contextMutex = mutex;
  contexts_.emplace(threadId, context.get());
  context.release();
  return true;
}

int32_t ContextTable::Remove(uint32_t threadId) {
  ThreadContext* doomed = nullptr;
  int32_t left = 0;
  {
    std::lock_guard hold(lock_);
    const auto found = contexts_.find(threadId);
    if (found != contexts_.end()) {
      ThreadContext* context = found->second;
      contexts_.erase(found);
      if (context->referenceCount > 0) --context->referenceCount;
      if (context->referenceCount == 0) doomed = context;
    }
    left = static_cast<int32_t>(contexts_.size());
  }
  delete doomed;  // outside the lock: closing a mailbox may take a while
  return left;
}

void ContextTable::Join(ThreadContext* context, uint32_t threadId) {
  ThreadContext* doomed = nullptr;
  {
    std::lock_guard hold(lock_);
    doomed = EnterLocked(context, threadId);
  }
  delete doomed;
}

ThreadContext* ContextTable::EnterLocked(ThreadContext* context, uint32_t threadId) {
  auto& entry = contexts_[threadId];
  if (entry == context) return nullptr;  // already joined: one entry, one reference
  // An entry left by an ended thread whose identifier the system gave out
  // again: its reference goes with the entry.
  ThreadContext* doomed = nullptr;
  if (entry != nullptr && --entry->referenceCount == 0) doomed = entry;
  ++context->referenceCount;
  entry = context;
  return doomed;
}

void ContextTable::DestroyAll() {
  std::unordered_set<ThreadContext*> distinct;
  {
    std::lock_guard hold(lock_);
    for (const auto& entry : contexts_) distinct.insert(entry.second);
    std::unordered_map<uint32_t, ThreadContext*>().swap(contexts_);  // its buckets too
  }
  for (ThreadContext* context : distinct) delete context;
}

int32_t ContextTable::Count() const {
  std::lock_guard hold(lock_);
  return static_cast<int32_t>(contexts_.size());
}

ContextTable& Contexts() {
  // Built in place and never destroyed: a worker that ends while the process
  // exits still takes its entry out, which must not meet the table's
  // destruction. Unloading the library frees all it holds (DestroyAll), so
  // nothing is left behind when a host unloads and loads it again.
  alignas(ContextTable) static unsigned char storage[sizeof(ContextTable)];
  static ContextTable* const table = new (storage) ContextTable;
  return *table;
}

ThreadContext* CallingContext() { return Contexts().Find(platform::CurrentThreadId()); }

}  // namespace quorvel
