// What the processor offers beyond the baseline the library is compiled for,
// asked once at run time, so that wide loops can be chosen per machine.
#pragma once

namespace quorvel::platform {

struct CpuFeatures {
  bool ssse3 = false;
  bool avx2 = false;
  bool pclmul = false;  // carry-less multiplication
};

// Answers the same value for the whole process; all false off x86.
const CpuFeatures& ProcessorFeatures();

}  // namespace quorvel::platform
