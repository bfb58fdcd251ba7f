// The time-out of a socket operation is a deadline that the waits of each
// system compare with the monotonic clock; the identifiers stand for the
// thread timers the system once used.
#include <atomic>

#include "platform/Clock.h"
#include "platform/Sockets.h"

namespace quorvel::platform {

namespace {

std::atomic<uint32_t> nextTimerId{1};

}  // namespace

void TimeoutSocket::StartTimeout(uint32_t milliseconds) {
  timerId_ = nextTimerId.fetch_add(1);
  if (timerId_ == 0) timerId_ = nextTimerId.fetch_add(1);
  deadline_ = MonotonicMilliseconds() + milliseconds;
}

bool TimeoutSocket::StopTimeout() {
  timerId_ = 0;
  return true;
}

void TimeoutSocket::OnTimeout() { Close(); }

}  // namespace quorvel::platform
