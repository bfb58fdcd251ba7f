// Runs a function the way a 32-bit Windows caller built by another compiler
// may: on a stack aligned to 4 bytes only (the i386 convention is 16). Off
// 32-bit x86 the function simply runs.
#pragma once

#include <functional>

namespace quorvel::testing {

namespace misaligned_stack {
inline void Trampoline(void* work) { (*static_cast<std::function<void()>*>(work))(); }
}  // namespace misaligned_stack

inline void RunOnAStackAlignedToFourBytes(std::function<void()> work) {
#if defined(__i386__)
  void (*entry)(void*) = &misaligned_stack::Trampoline;
  void* argument = &work;
  // 16-aligned, minus 8, minus the pushed argument: the call leaves the
  // callee's stack 4 bytes off from where the convention would put it.
  asm volatile(
      "mov %%esp, %%esi\n\t"
      "and $-16, %%esp\n\t"
      "sub $8, %%esp\n\t"
      "push %1\n\t"
      "call *%0\n\t"
      "mov %%esi, %%esp\n\t"
      :
      : "r"(entry), "r"(argument)
      : "esi", "eax", "ecx", "edx", "memory", "cc");
#else
  work();
#endif
}

}  // namespace quorvel::testing
