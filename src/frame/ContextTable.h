// ContextTable: the process-wide map from thread identifier to context.
// Several identifiers may share one context (a background worker joins the
// context of the thread that started it); a context dies when its reference
// count reaches 0, or when the library is unloaded.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "frame/ThreadContext.h"

namespace quorvel {

class ContextTable {
 public:
  ContextTable() = default;
  ContextTable(const ContextTable&) = delete;
  ContextTable& operator=(const ContextTable&) = delete;
  ~ContextTable();

  // The context of a thread, or null.
  ThreadContext* Find(uint32_t threadId) const;
  // Creates a context for the thread unless it has one; false only when it
  // could not be created.
  bool AddNew(uint32_t threadId, MutexHandle mutex);
  // Lowers the reference count of the thread's context (destroying it at 0)
  // and removes the thread's entry. Answers the number of entries left.
  int32_t Remove(uint32_t threadId);
  // Enters `threadId` for `context` and counts one more reference.
  void Join(ThreadContext* context, uint32_t threadId);
  // Destroys every context once, whatever its count, and empties the table.
  void DestroyAll();
  int32_t Count() const;

 private:
  // Enters `threadId` for `context` with the lock held; answers a context
  // whose last reference the entry held, for the caller to delete unlocked.
  ThreadContext* EnterLocked(ThreadContext* context, uint32_t threadId);

  mutable std::mutex lock_;
  std::unordered_map<uint32_t, ThreadContext*> contexts_;
};

// The one table of the process.
ContextTable& Contexts();

// The calling thread's context, or null.
ThreadContext* CallingContext();

}  // namespace quorvel
