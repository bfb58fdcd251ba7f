// Windows clocks: the system time as a FILETIME for the stored seconds, the
// time-zone rules of the system for the local calendar, GetTickCount64 for
// time-outs.
#include <windows.h>

#include "platform/Clock.h"

namespace quorvel::platform {

namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;
constexpr uint64_t kTicksPerSecond = 10000000ull;

uint64_t TicksOf(const FILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

FILETIME FileTimeOf(uint64_t ticks) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

LocalDateTime FromSystemTimes(const SYSTEMTIME& local, const SYSTEMTIME& utc) {
  LocalDateTime result;
  result.year = local.wYear;
  result.month = local.wMonth;
  result.day = local.wDay;
  result.hour = local.wHour;
  result.minute = local.wMinute;
  result.second = local.wSecond;
  result.millisecond = local.wMilliseconds;
  result.dayOfWeek = local.wDayOfWeek;
  FILETIME localTime, utcTime;
  ::SystemTimeToFileTime(&local, &localTime);
  ::SystemTimeToFileTime(&utc, &utcTime);
  const int64_t difference =
      static_cast<int64_t>(TicksOf(localTime)) - static_cast<int64_t>(TicksOf(utcTime));
  result.utcOffsetMinutes = static_cast<int>(difference / static_cast<int64_t>(kTicksPerSecond * 60));
  return result;
}

LocalDateTime LocalOfTicks(uint64_t ticks) {
  const FILETIME utcTime = FileTimeOf(ticks);
  SYSTEMTIME utc, local;
  ::FileTimeToSystemTime(&utcTime, &utc);
  if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
  return FromSystemTimes(local, utc);
}

}  // namespace

uint32_t UtcSecondsNow() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return static_cast<uint32_t>((TicksOf(now) - kUnixEpochTicks) / kTicksPerSecond);
}

LocalDateTime LocalNow() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return LocalOfTicks(TicksOf(now));
}

LocalDateTime LocalTimeOf(uint32_t utcSeconds) {
  LocalDateTime result = LocalOfTicks(kUnixEpochTicks + uint64_t{utcSeconds} * kTicksPerSecond);
  result.millisecond = 0;
  return result;
}

uint64_t MonotonicMilliseconds() { return ::GetTickCount64(); }

void SleepMilliseconds(uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace quorvel::platform
