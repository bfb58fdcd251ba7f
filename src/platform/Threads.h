// Threads as the library uses them: 32-bit identifiers, threads created
// suspended and resumed, a thread that suspends itself until another resumes
// it, priorities, and the host-supplied mutex.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "quorvel/Handles.h"

namespace quorvel::platform {

// The calling thread's identifier, unique among the live threads of the process.
uint32_t CurrentThreadId();

// Windows thread priorities; other systems map them as well as they can.
enum ThreadPriority : int {
  kPriorityLowest = -2,
  kPriorityBelowNormal = -1,
  kPriorityNormal = 0,
  kPriorityAboveNormal = 1,
  kPriorityHighest = 2,
};

// The calling thread's priority, and setting it. POSIX maps the levels to
// nice values five apart (lowest: 10); a thread that is not privileged
// cannot raise its own priority there once lowered.
int CurrentThreadPriority();
bool SetCurrentThreadPriority(int priority);

// Lowers the calling thread's priority while it waits for a thread it wants
// to run first (on Windows, to the lowest) and gives it back the priority it
// had when destroyed. On POSIX the priority is not touched: it could not be
// raised again, and the waits block rather than spin.
class WaitingPriority {
 public:
  WaitingPriority();
  ~WaitingPriority();
  WaitingPriority(const WaitingPriority&) = delete;
  WaitingPriority& operator=(const WaitingPriority&) = delete;

 private:
  int previous_;
};

class Thread {
 public:
  using Body = std::function<uint32_t()>;

  // Starts a thread that runs `body`; created suspended, it waits before the
  // body until Resume. Empty when the system cannot create a thread. The
  // handle may be dropped at any time: the thread keeps what it needs.
  static std::shared_ptr<Thread> Create(Body body, bool suspended);

  // Lets a thread created suspended start, or wakes a thread that suspended
  // itself. False when the thread was not suspended in either way.
  bool Resume();
  bool SetPriority(int priority);
  uint32_t Id() const;
  // Waits for the end of the thread; false on time-out. 0xFFFFFFFF waits for ever.
  bool Wait(uint32_t timeoutMilliseconds);
  bool HasEnded() const;
  // Not yet started, or suspended by itself.
  bool IsSuspended() const;
  uint32_t ExitCode() const;  // the body's result once ended

  struct State;
  explicit Thread(std::shared_ptr<State> state) : state_(std::move(state)) {}

 private:
  std::shared_ptr<State> state_;
};

// Suspends the calling thread (one created by Thread::Create) until another
// thread resumes it. `beforeSleeping` runs once the thread counts as suspended,
// so a resume triggered by what it does is never lost. False, without
// suspending, on a thread the library did not create.
bool SuspendCurrentThread(const std::function<void()>& beforeSleeping);

// The host's mutex (see MutexHandle): waits without time limit; a null handle
// is a mutex nobody else holds.
void LockHostMutex(MutexHandle mutex);
void UnlockHostMutex(MutexHandle mutex);

// A mutex of the kind a host hands to the library (a pthread mutex on POSIX,
// a Windows mutex object on Windows), for hosts built on this platform layer:
// the quorvel tool and the tests.
class HostMutex {
 public:
  HostMutex();
  ~HostMutex();
  HostMutex(const HostMutex&) = delete;
  HostMutex& operator=(const HostMutex&) = delete;

  MutexHandle handle() const { return handle_; }
  void lock() { LockHostMutex(handle_); }
  void unlock() { UnlockHostMutex(handle_); }

 private:
  MutexHandle handle_;
};

}  // namespace quorvel::platform
