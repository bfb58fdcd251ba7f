// The widest path the processor runs is chosen on first use; tests and
// benchmarks may switch paths between calls (not while other threads code).
#include "text/Base64Paths.h"

#include <atomic>
#include <cstring>

#include "platform/CpuFeatures.h"

namespace quorvel {

namespace {

const Base64Kernels* KernelsOf(Base64Path path) {
  const platform::CpuFeatures& cpu = platform::ProcessorFeatures();
  switch (path) {
    case Base64Path::Avx2: return cpu.avx2 ? Avx2Base64Kernels() : nullptr;
    case Base64Path::Ssse3: return cpu.ssse3 ? Ssse3Base64Kernels() : nullptr;
    case Base64Path::Portable: return &PortableBase64Kernels();
  }
  return nullptr;
}

Base64Path WidestPath() { return AvailableBase64Paths().back(); }

std::atomic<Base64Path>& ChosenPath() {
  static std::atomic<Base64Path> chosen{WidestPath()};
  return chosen;
}

}  // namespace

// The break is looked for with memchr: the kernels ask again after every
// line that is not of the shape, so the search must stay cheap.
LineShape LineShapeAt(const uint8_t* in, size_t length, size_t shortest) {
  const size_t reach = length < kLongestLine + 2 ? length : kLongestLine + 2;
  const void* found = std::memchr(in, '\n', reach);
  if (found == nullptr) return {};
  size_t end = static_cast<size_t>(static_cast<const uint8_t*>(found) - in);
  const size_t breakLength = end > 0 && in[end - 1] == '\r' ? 2 : 1;
  end -= breakLength - 1;
  if (end < shortest || end > kLongestLine || end % 4 != 0) return {};
  return {end, breakLength};
}

std::vector<Base64Path> AvailableBase64Paths() {
  std::vector<Base64Path> paths;
  for (const Base64Path path : {Base64Path::Portable, Base64Path::Ssse3, Base64Path::Avx2}) {
    if (KernelsOf(path) != nullptr) paths.push_back(path);
  }
  return paths;
}

bool UseBase64Path(Base64Path path) {
  if (KernelsOf(path) == nullptr) return false;
  ChosenPath().store(path);
  return true;
}

Base64Path CurrentBase64Path() { return ChosenPath().load(); }

const Base64Kernels& CurrentBase64Kernels() { return *KernelsOf(CurrentBase64Path()); }

}  // namespace quorvel
