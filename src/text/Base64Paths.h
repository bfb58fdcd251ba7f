// The inner loops of base64 come in several builds: a portable one and, on
// x86, SSSE3 and AVX2 ones chosen at run time from what the processor has.
// All produce the same bytes; the outer rules (tails, padding, foreign bytes)
// are shared and live in Base64.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel {

enum class Base64Path { Portable, Ssse3, Avx2 };

struct Base64Kernels {
  // Encodes whole 54-byte lines into 72 characters and CR LF each while
  // enough input remains for the kernel's wide loads; answers the bytes
  // consumed (a multiple of 54). The rest is left to the caller.
  size_t (*encodeLines)(const uint8_t* in, size_t length, char* out);
  // Decodes whole lines of the shape the text starts with (LineShapeAt),
  // then blocks of alphabet characters without breaks, while `room` allows
  // the kernel's wide stores; stops before the first line or block holding
  // anything else. Answers the characters consumed; `written` receives the
  // bytes produced.
  size_t (*decodeBlocks)(const uint8_t* in, size_t length, uint8_t* out, size_t room,
                         size_t& written);
};

// The portable loops, and the processor-specific ones (null when the build
// has none).
const Base64Kernels& PortableBase64Kernels();
const Base64Kernels* Ssse3Base64Kernels();
const Base64Kernels* Avx2Base64Kernels();

// The lines a text starts with, as mail programs write them: a number of
// alphabet characters that is a multiple of 4 (so no group spans a break),
// at least `shortest` and at most kLongestLine, then CR LF or LF alone.
// Lines of this shape decode as their characters joined. `characters` is 0
// when the text does not start with such a line.
inline constexpr size_t kLongestLine = 1000;
struct LineShape {
  size_t characters = 0;
  size_t breakLength = 0;  // 2 for CR LF, 1 for LF
};
LineShape LineShapeAt(const uint8_t* in, size_t length, size_t shortest);
// Whether the text at `in` holds the break of `shape` (enough text assumed).
inline bool HasLineBreak(const uint8_t* in, const LineShape& shape) {
  return shape.breakLength == 2 ? in[0] == '\r' && in[1] == '\n' : in[0] == '\n';
}

// The paths this processor can run, portable first.
std::vector<Base64Path> AvailableBase64Paths();
// Makes the encoder and decoder use `path` from now on (tests and
// benchmarks); false, and no change, when the processor cannot run it.
bool UseBase64Path(Base64Path path);
// The path in use: the widest available unless UseBase64Path chose another.
Base64Path CurrentBase64Path();
const Base64Kernels& CurrentBase64Kernels();

}  // namespace quorvel
