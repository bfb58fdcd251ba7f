// Windows threads. A thread created suspended is a real CREATE_SUSPENDED
// thread that ResumeThread starts. A thread that suspends itself waits on a
// condition variable instead of calling SuspendThread on itself: the resume
// of another thread may come before the thread has gone to sleep, and
// SuspendThread would then sleep for ever. The end of a thread is a flag set
// after its body, not the thread handle, so that waiting for it never needs
// the loader lock (the library waits for its workers while it unloads).
#include <windows.h>

#include "platform/Threads.h"

namespace quorvel::platform {

struct Thread::State {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
  Body body;
  HANDLE handle = nullptr;
  uint32_t id = 0;
  bool started = false;
  bool selfSuspended = false;
  bool ended = false;
  uint32_t exitCode = 0;

  ~State() {
    if (handle != nullptr) ::CloseHandle(handle);
  }
};

namespace {

thread_local Thread::State* currentThreadState = nullptr;

class Hold {
 public:
  explicit Hold(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
  ~Hold() { ::ReleaseSRWLockExclusive(&lock_); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  SRWLOCK& lock_;
};

DWORD WINAPI RunThread(void* parameter) {
  // The thread owns one reference to its state until its body has ended.
  std::shared_ptr<Thread::State> state(std::move(*static_cast<std::shared_ptr<Thread::State>*>(parameter)));
  delete static_cast<std::shared_ptr<Thread::State>*>(parameter);
  currentThreadState = state.get();
  uint32_t result = 0;
  try {
    result = state->body();
  } catch (...) {
    result = 0;  // a body never throws on purpose; its thread must not end the process
  }
  Hold hold(state->lock);
  state->body = nullptr;  // frees what the body captured while the handle may live on
  state->exitCode = result;
  state->ended = true;
  ::WakeAllConditionVariable(&state->changed);
  return result;
}

}  // namespace

uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

int CurrentThreadPriority() {
  const int priority = ::GetThreadPriority(::GetCurrentThread());
  return priority == THREAD_PRIORITY_ERROR_RETURN ? kPriorityNormal : priority;
}

bool SetCurrentThreadPriority(int priority) {
  return ::SetThreadPriority(::GetCurrentThread(), priority) != 0;
}

WaitingPriority::WaitingPriority() : previous_(CurrentThreadPriority()) {
  SetCurrentThreadPriority(kPriorityLowest);
}

WaitingPriority::~WaitingPriority() { SetCurrentThreadPriority(previous_); }

std::shared_ptr<Thread> Thread::Create(Body body, bool suspended) {
  auto state = std::make_shared<State>();
  state->body = std::move(body);
  auto* parameter = new std::shared_ptr<State>(state);
  DWORD id = 0;
  HANDLE handle = ::CreateThread(nullptr, 0, RunThread, parameter, CREATE_SUSPENDED, &id);
  if (handle == nullptr) {
    delete parameter;
    return nullptr;
  }
  state->handle = handle;
  state->id = id;
  if (!suspended) {
    state->started = true;
    ::ResumeThread(handle);
  }
  return std::make_shared<Thread>(state);
}

bool Thread::Resume() {
  Hold hold(state_->lock);
  if (!state_->started) {
    state_->started = true;
    ::ResumeThread(state_->handle);
    return true;
  }
  if (!state_->selfSuspended) return false;
  state_->selfSuspended = false;
  ::WakeAllConditionVariable(&state_->changed);
  return true;
}

bool Thread::SetPriority(int priority) {
  Hold hold(state_->lock);
  if (state_->ended) return false;
  return ::SetThreadPriority(state_->handle, priority) != 0;
}

uint32_t Thread::Id() const { return state_->id; }

bool Thread::Wait(uint32_t timeoutMilliseconds) {
  const uint64_t start = ::GetTickCount64();
  Hold hold(state_->lock);
  while (!state_->ended) {
    DWORD left = INFINITE;
    if (timeoutMilliseconds != 0xFFFFFFFFu) {
      const uint64_t passed = ::GetTickCount64() - start;
      if (passed >= timeoutMilliseconds) return false;
      left = static_cast<DWORD>(timeoutMilliseconds - passed);
    }
    ::SleepConditionVariableSRW(&state_->changed, &state_->lock, left, 0);
  }
  return true;
}

bool Thread::HasEnded() const {
  Hold hold(state_->lock);
  return state_->ended;
}

bool Thread::IsSuspended() const {
  Hold hold(state_->lock);
  return !state_->started || state_->selfSuspended;
}

uint32_t Thread::ExitCode() const {
  Hold hold(state_->lock);
  return state_->exitCode;
}

bool SuspendCurrentThread(const std::function<void()>& beforeSleeping) {
  Thread::State* state = currentThreadState;
  if (state == nullptr) return false;
  Hold hold(state->lock);
  state->selfSuspended = true;
  if (beforeSleeping) beforeSleeping();
  while (state->selfSuspended) {
    ::SleepConditionVariableSRW(&state->changed, &state->lock, INFINITE, 0);
  }
  return true;
}

void LockHostMutex(MutexHandle mutex) {
  if (mutex != nullptr) ::WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE);
}

void UnlockHostMutex(MutexHandle mutex) {
  if (mutex != nullptr) ::ReleaseMutex(static_cast<HANDLE>(mutex));
}

HostMutex::HostMutex() : handle_(::CreateMutexW(nullptr, FALSE, nullptr)) {}

HostMutex::~HostMutex() {
  if (handle_ != nullptr) ::CloseHandle(static_cast<HANDLE>(handle_));
}

}  // namespace quorvel::platform
