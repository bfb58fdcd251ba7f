// Helpers shared by the fuzz targets: the input as a file for the readers
// that take a path, and a check that ends the run when an invariant breaks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/Paths.h"
#include "platform/Threads.h"

namespace quorvel::fuzz {

// A path of this process in the temporary directory, named by `suffix`.
inline std::string ScratchPath(const std::string& suffix) {
  return platform::TemporaryDirectory() + "quorvel-fuzz-" +
         std::to_string(platform::CurrentThreadId()) + "-" + suffix;
}

// Writes the bytes to the scratch file `suffix`; answers its path.
inline std::string WriteScratch(const std::string& suffix, const uint8_t* data, size_t size) {
  const std::string path = ScratchPath(suffix);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

// An invariant the reader must keep: a broken one is a finding.
inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

}  // namespace quorvel::fuzz
