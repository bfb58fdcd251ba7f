// Waits for a condition another thread makes true, with a deadline: a test
// whose event never comes fails instead of hanging.
#pragma once
#include <chrono>
#include <thread>

namespace quorvel::testing {

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds most = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + most;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

}  // namespace quorvel::testing
