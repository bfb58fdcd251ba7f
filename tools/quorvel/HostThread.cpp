#include "HostThread.h"

#include "quorvel/quorvel.h"

namespace quorvel::tool {

HostThread::HostThread(MutexHandle hostMutex) : thread_([this, hostMutex] { Loop(hostMutex); }) {}

HostThread::~HostThread() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    ending_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void HostThread::Run(const std::function<void()>& job) {
  std::unique_lock<std::mutex> hold(lock_);
  job_ = &job;
  changed_.notify_all();
  changed_.wait(hold, [this] { return job_ == nullptr; });
}

void HostThread::Loop(MutexHandle hostMutex) {
  MTAddNew(hostMutex);
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [this] { return job_ != nullptr || ending_; });
    if (job_ == nullptr) break;
    const std::function<void()>* job = job_;
    hold.unlock();
    (*job)();
    hold.lock();
    job_ = nullptr;
    changed_.notify_all();
  }
  hold.unlock();
  MTRemove();
}

}  // namespace quorvel::tool
