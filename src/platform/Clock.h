// Wall-clock time (UTC seconds and the local calendar), a monotonic clock for
// time-outs, and sleeping.
#pragma once

#include <cstdint>

namespace quorvel::platform {

struct LocalDateTime {
  int year = 0;       // e.g. 2026
  int month = 0;      // 1-12
  int day = 0;        // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int dayOfWeek = 0;  // 0 = Sunday
  int utcOffsetMinutes = 0;  // local time minus UTC
};

// Seconds since 1970-01-01 UTC, as the library stores times.
uint32_t UtcSecondsNow();
LocalDateTime LocalNow();
// The local calendar time of a UTC second count.
LocalDateTime LocalTimeOf(uint32_t utcSeconds);

uint64_t MonotonicMilliseconds();
void SleepMilliseconds(uint32_t milliseconds);

}  // namespace quorvel::platform
