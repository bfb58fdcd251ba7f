// POSIX threads with the Windows behaviours the library relies on. A thread
// created suspended waits at a gate before its body; a thread that suspends
// itself waits at the same gate until Resume opens it. Both waits use one
// mutex, so a resume can never slip in between "counts as suspended" and
// "sleeps".
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Threads.h"

namespace quorvel::platform {

struct Thread::State {
  std::mutex lock;
  std::condition_variable changed;
  Body body;
  uint32_t id = 0;
  bool idKnown = false;
  bool startAllowed = false;
  bool selfSuspended = false;
  bool ended = false;
  uint32_t exitCode = 0;
};

namespace {

thread_local Thread::State* currentThreadState = nullptr;

// Windows priorities as nice values: higher priority, lower nice.
int NiceFor(int priority) { return -5 * priority; }

void RunThread(const std::shared_ptr<Thread::State>& state) {
  currentThreadState = state.get();
  {
    std::unique_lock hold(state->lock);
    state->id = CurrentThreadId();
    state->idKnown = true;
    state->changed.notify_all();
    state->changed.wait(hold, [&] { return state->startAllowed; });
  }
  uint32_t result = 0;
  try {
    result = state->body();
  } catch (...) {
    result = 0;  // a body never throws on purpose; its thread must not end the process
  }
  std::lock_guard hold(state->lock);
  state->body = nullptr;  // frees what the body captured while the handle may live on
  state->exitCode = result;
  state->ended = true;
  state->changed.notify_all();
}

}  // namespace

uint32_t CurrentThreadId() {
  thread_local const uint32_t id = static_cast<uint32_t>(::gettid());
  return id;
}

int CurrentThreadPriority() {
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()));
  return errno != 0 ? kPriorityNormal : -nice / 5;
}

bool SetCurrentThreadPriority(int priority) {
  return ::setpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()), NiceFor(priority)) == 0;
}

WaitingPriority::WaitingPriority() : previous_(CurrentThreadPriority()) {}

WaitingPriority::~WaitingPriority() {
  if (CurrentThreadPriority() != previous_) SetCurrentThreadPriority(previous_);
}

std::shared_ptr<Thread> Thread::Create(Body body, bool suspended) {
  auto state = std::make_shared<State>();
  state->body = std::move(body);
  state->startAllowed = !suspended;
  try {
    std::thread([state] { RunThread(state); }).detach();
  } catch (const std::system_error&) {
    return nullptr;
  }
  std::unique_lock hold(state->lock);
  state->changed.wait(hold, [&] { return state->idKnown; });
  return std::make_shared<Thread>(state);
}

bool Thread::Resume() {
  std::lock_guard hold(state_->lock);
  if (!state_->startAllowed) {
    state_->startAllowed = true;
  } else if (state_->selfSuspended) {
    state_->selfSuspended = false;
  } else {
    return false;
  }
  state_->changed.notify_all();
  return true;
}

bool Thread::SetPriority(int priority) {
  std::lock_guard hold(state_->lock);
  if (state_->ended) return false;
  return ::setpriority(PRIO_PROCESS, static_cast<id_t>(state_->id), NiceFor(priority)) == 0;
}

uint32_t Thread::Id() const { return state_->id; }

bool Thread::Wait(uint32_t timeoutMilliseconds) {
  std::unique_lock hold(state_->lock);
  auto ended = [&] { return state_->ended; };
  if (timeoutMilliseconds == 0xFFFFFFFFu) {
    state_->changed.wait(hold, ended);
    return true;
  }
  return state_->changed.wait_for(hold, std::chrono::milliseconds(timeoutMilliseconds), ended);
}

bool Thread::HasEnded() const {
  std::lock_guard hold(state_->lock);
  return state_->ended;
}

bool Thread::IsSuspended() const {
  std::lock_guard hold(state_->lock);
  return !state_->startAllowed || state_->selfSuspended;
}

uint32_t Thread::ExitCode() const {
  std::lock_guard hold(state_->lock);
  return state_->exitCode;
}

bool SuspendCurrentThread(const std::function<void()>& beforeSleeping) {
  Thread::State* state = currentThreadState;
  if (state == nullptr) return false;
  std::unique_lock hold(state->lock);
  state->selfSuspended = true;
  if (beforeSleeping) beforeSleeping();
  state->changed.wait(hold, [&] { return !state->selfSuspended; });
  return true;
}

void LockHostMutex(MutexHandle mutex) {
  if (mutex != nullptr) ::pthread_mutex_lock(static_cast<pthread_mutex_t*>(mutex));
}

void UnlockHostMutex(MutexHandle mutex) {
  if (mutex != nullptr) ::pthread_mutex_unlock(static_cast<pthread_mutex_t*>(mutex));
}

HostMutex::HostMutex() : handle_(new pthread_mutex_t) {
  ::pthread_mutex_init(static_cast<pthread_mutex_t*>(handle_), nullptr);
}

HostMutex::~HostMutex() {
  ::pthread_mutex_destroy(static_cast<pthread_mutex_t*>(handle_));
  delete static_cast<pthread_mutex_t*>(handle_);
}

}  // namespace quorvel::platform
