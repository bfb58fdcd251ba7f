// POSIX clocks: time() for the stored seconds, localtime_r for the calendar,
// CLOCK_MONOTONIC for time-outs.
#include <sys/time.h>
#include <time.h>

#include <cerrno>

#include "platform/Clock.h"

namespace quorvel::platform {

namespace {

LocalDateTime FromTm(const struct tm& local, int millisecond) {
  LocalDateTime result;
  result.year = local.tm_year + 1900;
  result.month = local.tm_mon + 1;
  result.day = local.tm_mday;
  result.hour = local.tm_hour;
  result.minute = local.tm_min;
  result.second = local.tm_sec;
  result.millisecond = millisecond;
  result.dayOfWeek = local.tm_wday;
  result.utcOffsetMinutes = static_cast<int>(local.tm_gmtoff / 60);
  return result;
}

}  // namespace

uint32_t UtcSecondsNow() { return static_cast<uint32_t>(::time(nullptr)); }

LocalDateTime LocalNow() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  struct tm local;
  ::localtime_r(&now.tv_sec, &local);
  return FromTm(local, static_cast<int>(now.tv_nsec / 1000000));
}

LocalDateTime LocalTimeOf(uint32_t utcSeconds) {
  const time_t seconds = static_cast<time_t>(utcSeconds);
  struct tm local;
  ::localtime_r(&seconds, &local);
  return FromTm(local, 0);
}

uint64_t MonotonicMilliseconds() {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

void SleepMilliseconds(uint32_t milliseconds) {
  struct timespec wait{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

}  // namespace quorvel::platform
