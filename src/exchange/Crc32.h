// The CRC-32 that guards a record file: polynomial 0x04C11DB7, most
// significant bit first, initial value 0, no reflection, no final
// exclusive-or (check value over "123456789": 0x89A1897F).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "exchange/RecordSource.h"

namespace quorvel::exchange {

class Crc32 {
 public:
  // Folds the bytes in; false (and no change) when there are none.
  bool Update(const void* bytes, size_t length);
  // Folds in the file from `start` to its end, read in 10000-byte chunks;
  // false when the file cannot be positioned at `start`. Read errors are
  // FileError exceptions.
  bool OfFile(RecordSource& file, uint64_t start);
  uint32_t Value() const { return value_; }

  static uint32_t Of(const void* bytes, size_t length);

 private:
  uint32_t value_ = 0;
};

// Long inputs are folded with carry-less multiplication where the processor
// has it, else sliced through tables; both give the same CRC.
enum class Crc32Path { Table, CarrylessMultiply };
// The paths this processor can run, the table first.
std::vector<Crc32Path> AvailableCrc32Paths();
// Makes the CRC use `path` from now on (tests and benchmarks); false, and no
// change, when the processor cannot run it.
bool UseCrc32Path(Crc32Path path);
// The path in use: the fastest available unless UseCrc32Path chose another.
Crc32Path CurrentCrc32Path();

// The same CRC one byte at a time through the single 256-entry table: the
// definition that the sliced computation must match.
uint32_t UpdateCrc32ByteWise(uint32_t crc, const void* bytes, size_t length);

}  // namespace quorvel::exchange
