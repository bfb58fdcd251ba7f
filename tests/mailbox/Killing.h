// Helper processes of the crash tests: started, killed at a random instant,
// and watched by a deadline so that no read of their output waits for ever.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <random>
#include <stdexcept>
#include <string>
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

// Kills `child` (failing the test) unless dismissed within a minute. Dismiss
// it before waiting for the child.
class HelperDeadline {
 public:
  explicit HelperDeadline(platform::ChildProcess& child)
      : watcher_(std::async(std::launch::async, [this, &child] {
          if (signal_.wait_for(std::chrono::minutes(1)) == std::future_status::timeout) {
            ADD_FAILURE() << "a helper process outlived its deadline";
            child.Kill();
          }
        })) {}
  ~HelperDeadline() { Dismiss(); }
  void Dismiss() {
    if (!watcher_.valid()) return;
    dismissed_.set_value();
    watcher_.get();
  }

 private:
  std::promise<void> dismissed_;
  std::future<void> signal_ = dismissed_.get_future();
  std::future<void> watcher_;
};

}  // namespace quorvel::testing
