// Folding with carry-less multiplication: a 128-bit remainder R followed by
// n more bits is congruent to R * x^n, and R * x^n splits into its two 64-bit
// halves times (x^(n+64) mod P) and (x^n mod P), each product at most 95 bits
// long. Four remainders run side by side over 64-byte strides so that the
// multiplier is never idle; they are joined at the end, and the table code
// turns the last remainder into the CRC (the CRC of a remainder's 16 bytes,
// taken from 0, is that remainder times x^32 mod P). The CRC is most
// significant bit first, so each 16-byte block is byte-reversed on loading.
#include "exchange/Crc32Folding.h"

#include "platform/CpuFeatures.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define QUORVEL_PCLMUL __attribute__((target("pclmul,ssse3")))

namespace quorvel::exchange {

namespace {

constexpr uint32_t kPolynomial = 0x04C11DB7;

// x^n mod P as a 32-bit value, bit i the coefficient of x^i.
constexpr uint64_t PowerOfX(unsigned n) {
  uint32_t value = 1;
  for (unsigned i = 0; i < n; ++i) {
    value = (value & 0x80000000u) != 0 ? (value << 1) ^ kPolynomial : value << 1;
  }
  return value;
}

// The constants that move a remainder forward by `bits`: the high half in
// the upper 64 bits, the low half in the lower.
template <unsigned bits>
QUORVEL_PCLMUL inline __m128i Shift() {
  constexpr auto high = static_cast<long long>(PowerOfX(bits + 64));
  constexpr auto low = static_cast<long long>(PowerOfX(bits));
  return _mm_set_epi64x(high, low);
}

QUORVEL_PCLMUL inline __m128i Reversed() {
  return _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
}

QUORVEL_PCLMUL inline __m128i Load(const uint8_t* p) {
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), Reversed());
}

QUORVEL_PCLMUL inline __m128i Fold(__m128i remainder, __m128i shift) {
  return _mm_xor_si128(_mm_clmulepi64_si128(remainder, shift, 0x11),
                       _mm_clmulepi64_si128(remainder, shift, 0x00));
}

QUORVEL_PCLMUL QUORVEL_WIDE_LOOP_ENTRY
size_t FoldWithCarrylessMultiply(uint32_t crc, const uint8_t* p, size_t length,
                                 uint8_t remainder[16]) {
  if (length < kCrc32FoldingMinimum) return 0;
  const __m128i initial = _mm_set_epi32(static_cast<int>(crc), 0, 0, 0);
  __m128i x0 = _mm_xor_si128(Load(p), initial);
  __m128i x1 = Load(p + 16);
  __m128i x2 = Load(p + 32);
  __m128i x3 = Load(p + 48);
  size_t consumed = 64;
  const __m128i stride = Shift<512>();
  while (length - consumed >= 64) {
    const uint8_t* block = p + consumed;
    x0 = _mm_xor_si128(Fold(x0, stride), Load(block));
    x1 = _mm_xor_si128(Fold(x1, stride), Load(block + 16));
    x2 = _mm_xor_si128(Fold(x2, stride), Load(block + 32));
    x3 = _mm_xor_si128(Fold(x3, stride), Load(block + 48));
    consumed += 64;
  }
  __m128i x = _mm_xor_si128(_mm_xor_si128(Fold(x0, Shift<384>()), Fold(x1, Shift<256>())),
                            _mm_xor_si128(Fold(x2, Shift<128>()), x3));
  const __m128i step = Shift<128>();
  while (length - consumed >= 16) {
    x = _mm_xor_si128(Fold(x, step), Load(p + consumed));
    consumed += 16;
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(remainder), _mm_shuffle_epi8(x, Reversed()));
  return consumed;
}

}  // namespace

Crc32Folder CarrylessCrc32Folder() { return FoldWithCarrylessMultiply; }

}  // namespace quorvel::exchange

#else

namespace quorvel::exchange {
Crc32Folder CarrylessCrc32Folder() { return nullptr; }
}  // namespace quorvel::exchange

#endif
