// The compiler's own CPUID wrapper answers the questions; it also checks that
// the operating system saves the wide registers before it reports AVX2.
#include "platform/CpuFeatures.h"

namespace quorvel::platform {

namespace {

CpuFeatures Detect() {
  CpuFeatures features;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  features.ssse3 = __builtin_cpu_supports("ssse3") != 0;
  features.avx2 = __builtin_cpu_supports("avx2") != 0;
  features.pclmul = __builtin_cpu_supports("pclmul") != 0;
#endif
  return features;
}

}  // namespace

const CpuFeatures& ProcessorFeatures() {
  static const CpuFeatures features = Detect();
  return features;
}

}  // namespace quorvel::platform
