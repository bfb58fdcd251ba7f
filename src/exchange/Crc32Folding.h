// The wide path of the CRC-32: whole 16-byte blocks folded into a 128-bit
// remainder with carry-less multiplication, where the processor has it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::exchange {

// Shorter inputs are left to the tables.
inline constexpr size_t kCrc32FoldingMinimum = 64;

// Folds the CRC `crc` and the longest whole number of 16-byte blocks of the
// input (at least kCrc32FoldingMinimum bytes, else nothing) into a remainder,
// stored as 16 bytes in message order whose CRC from 0 is the CRC so far.
// Answers the bytes consumed (0 when the input is too short).
using Crc32Folder = size_t (*)(uint32_t crc, const uint8_t* bytes, size_t length,
                               uint8_t remainder[16]);

// Null when this build has no such path; whether the processor can run it
// is the caller's question.
Crc32Folder CarrylessCrc32Folder();

}  // namespace quorvel::exchange
