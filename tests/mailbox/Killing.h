// What the crash tests share: helper processes started, killed at a random
// instant, and watched by a deadline so that no read of a helper's output
// waits for ever.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/ChildProcess.h"

namespace quorvel::testing {

inline platform::ChildProcess StartHelper(const std::string& program,
                                          const std::vector<std::string>& arguments) {
  std::optional<platform::ChildProcess> child = platform::ChildProcess::Start(program, arguments);
  if (!child) throw std::runtime_error("cannot start " + program);
  return std::move(*child);
}

// Kills `child` after a spin of up to `most` microseconds. Not a wait for
// anything: where the kill lands is what varies.
inline void KillAfterSpin(platform::ChildProcess& child, std::mt19937& random, int most) {
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::microseconds(std::uniform_int_distribution<int>(0, most)(random));
  while (std::chrono::steady_clock::now() < until) {
  }
  child.Kill();
}

// Kills `child` unless dismissed within a minute: its output then ends, and
// the test fails instead of hanging. Dismiss it before waiting for the child.
class HelperDeadline {
 public:
  explicit HelperDeadline(platform::ChildProcess& child)
      : watcher_([this, &child] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!changed_.wait_for(lock, std::chrono::minutes(1), [this] { return dismissed_; })) {
            ADD_FAILURE() << "a helper process outlived its deadline";
            child.Kill();
          }
        }) {}
  HelperDeadline(const HelperDeadline&) = delete;
  HelperDeadline& operator=(const HelperDeadline&) = delete;
  ~HelperDeadline() { Dismiss(); }
  void Dismiss() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      dismissed_ = true;
    }
    changed_.notify_all();
    if (watcher_.joinable()) watcher_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool dismissed_ = false;
  std::thread watcher_;
};

}  // namespace quorvel::testing
