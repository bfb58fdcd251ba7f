// Reproducible bytes of every value, for content that no code under test
// produced.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace quorvel::testing {

inline std::string RandomBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  std::mt19937 random(seed);
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

}  // namespace quorvel::testing
