// ArchivedU32: a 32-bit value stored as an archived object. The `options` of
// a pupil mail (TessalyPupilWriteMail) come in this form: a value of the
// host's own, kept in the item file; the library gives it no meaning.
#pragma once

#include <cstdint>

class ArchivedU32 {
 public:
  ArchivedU32() = default;
  explicit ArchivedU32(uint32_t initial) : value(initial) {}
  ArchivedU32(const ArchivedU32&) = default;
  ArchivedU32& operator=(const ArchivedU32&) = default;
  virtual ~ArchivedU32() = default;

  friend bool operator==(const ArchivedU32& a, const ArchivedU32& b) { return a.value == b.value; }

  uint32_t value = 0;
};
