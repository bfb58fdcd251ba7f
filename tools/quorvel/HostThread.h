// A thread of a host program with a library context of its own, the way a
// host gives each user (a pupil, a tutor) a thread: every call of the
// library made through Run happens on that thread, with that context.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "quorvel/Handles.h"

namespace quorvel::tool {

class HostThread {
 public:
  // Starts the thread and creates its context with the host's mutex, which
  // background workers take while they join or leave the context; it must
  // outlive every worker (a process-wide mutex does). A host outside this
  // project creates it with its system's own call (pthread_mutex_init,
  // CreateMutex); the tool uses the platform layer's equivalent.
  explicit HostThread(MutexHandle hostMutex);
  HostThread(const HostThread&) = delete;
  HostThread& operator=(const HostThread&) = delete;
  // Ends the context (MTRemove) on the thread and joins it.
  ~HostThread();

  // Runs `job` on the thread and waits until it has returned.
  void Run(const std::function<void()>& job);

 private:
  void Loop(MutexHandle hostMutex);

  std::mutex lock_;
  std::condition_variable changed_;
  const std::function<void()>* job_ = nullptr;
  bool ending_ = false;
  std::thread thread_;
};

}  // namespace quorvel::tool
