// TimeValue: a point in time as seconds since 1970-01-01 UTC, the time object
// that TessalyGetDate answers by value.
//
// Hosts built for the 32-bit Windows library receive that answer as their
// framework's time class, which declares its own copy constructor: such a
// class comes back through a hidden pointer to the caller's result, not in
// EAX. This class declares its copy constructor too, so that it is returned
// the same way under every calling convention.
#pragma once

#include <cstdint>

class TimeValue {
 public:
  TimeValue() noexcept = default;
  explicit TimeValue(uint32_t seconds) noexcept : seconds_(seconds) {}
  // Declared, not defaulted: see above.
  TimeValue(const TimeValue& other) noexcept : seconds_(other.seconds_) {}
  TimeValue& operator=(const TimeValue& other) noexcept {
    seconds_ = other.seconds_;
    return *this;
  }

  // Seconds since 1970-01-01 UTC; 0 for none.
  uint32_t GetTime() const noexcept { return seconds_; }
  friend bool operator==(const TimeValue& a, const TimeValue& b) noexcept {
    return a.seconds_ == b.seconds_;
  }

 private:
  uint32_t seconds_ = 0;
};
