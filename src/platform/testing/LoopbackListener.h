// A listening socket on 127.0.0.1, or ::1: the scripted servers of the tests.
// Test-only: it lives in quorvel_platform_testing, which the library never
// links.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Sockets.h"

namespace quorvel::platform {

class LoopbackListener {
 public:
  // Listens on the given port (0: one the system chooses); empty on failure.
  static std::unique_ptr<LoopbackListener> Open(uint16_t port = 0, bool ipv6 = false);
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  uint16_t Port() const { return port_; }
  // The next connection, or empty after `timeoutMilliseconds`.
  std::unique_ptr<TimeoutSocket> Accept(uint32_t timeoutMilliseconds);

 private:
  LoopbackListener(intptr_t handle, uint16_t port) : handle_(handle), port_(port) {}
  intptr_t handle_;
  uint16_t port_;
};

}  // namespace quorvel::platform
