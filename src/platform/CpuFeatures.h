// What the processor offers beyond the baseline the library is compiled for,
// asked once at run time, so that wide loops can be chosen per machine.
#pragma once

// Marks the entry of a wide loop. A 32-bit Windows caller (a host built by
// another compiler, a thread the system started) may hand over a stack
// aligned to 4 bytes only, and -mstackrealign alone does not keep GCC from
// folding a 16-byte spill slot into an SSE instruction that needs it
// aligned: the entry realigns its own frame.
#if defined(__i386__)
#define QUORVEL_WIDE_LOOP_ENTRY __attribute__((force_align_arg_pointer, noinline))
#else
#define QUORVEL_WIDE_LOOP_ENTRY
#endif

namespace quorvel::platform {

struct CpuFeatures {
  bool ssse3 = false;
  bool avx2 = false;
  bool pclmul = false;  // carry-less multiplication
};

// Answers the same value for the whole process; all false off x86.
const CpuFeatures& ProcessorFeatures();

}  // namespace quorvel::platform
