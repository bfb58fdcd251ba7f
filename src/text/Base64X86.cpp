// The wide base64 loops for x86, compiled for SSSE3 and AVX2 through function
// attributes and chosen at run time. Encoding spreads each 3-byte group over
// four bytes with one shuffle, cuts out the four 6-bit values with two
// multiplications, and turns values into characters by adding an offset
// picked by a second shuffle. Decoding checks each character through two
// 16-entry tables (one by its low, one by its high half-byte; a character
// is foreign when their entries share a bit), adds the offset that turns it
// into its value, and packs four values into three bytes with two
// multiply-adds. A line is covered by whole blocks, the last block
// overlapping the one before it (it writes the same bytes again).
#include "text/Base64Paths.h"

#include "platform/CpuFeatures.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define QUORVEL_SSSE3 __attribute__((target("ssse3")))
#define QUORVEL_AVX2 __attribute__((target("avx2")))

namespace quorvel {

namespace {

constexpr size_t kLineCharacters = 72;
constexpr size_t kLineBytes = 54;

// Input bytes read by the last block of a line (12 bytes at 42, loaded as 16).
constexpr size_t kEncodeLineReach = 58;
// Output bytes a decoded line's wide stores may write beyond its own bytes.
constexpr size_t kLineReachBeyond = 8;

// --- Encoding ---------------------------------------------------------------

// Per 32-bit lane of 3 input bytes a b c: the bytes b a c b, so that each
// 16-bit half holds the 12 bits of two output characters.
QUORVEL_SSSE3 inline __m128i SpreadShuffle128() {
  return _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
}

// Offsets from 6-bit values to characters, indexed by a class of the value:
// 0 = 26..51, 1..10 = 52..61, 11 = 62, 12 = 63, 13 = 0..25.
QUORVEL_SSSE3 inline __m128i CharacterOffsets128() {
  return _mm_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                       '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
}

QUORVEL_SSSE3 inline __m128i SixBitValues128(__m128i spread) {
  // First and third values: bits 10..15 of the low half and 6..11 of the high
  // half, moved down by a multiply-high; second and fourth: bits 4..9 and
  // 0..5, moved up into the next byte by a multiply-low.
  const __m128i outer = _mm_mulhi_epu16(_mm_and_si128(spread, _mm_set1_epi32(0x0FC0FC00)),
                                        _mm_set1_epi32(0x04000040));
  const __m128i inner = _mm_mullo_epi16(_mm_and_si128(spread, _mm_set1_epi32(0x003F03F0)),
                                        _mm_set1_epi32(0x01000010));
  return _mm_or_si128(outer, inner);
}

QUORVEL_SSSE3 inline __m128i Characters128(__m128i values) {
  __m128i classes = _mm_subs_epu8(values, _mm_set1_epi8(51));
  const __m128i upper = _mm_cmpgt_epi8(_mm_set1_epi8(26), values);
  classes = _mm_or_si128(classes, _mm_and_si128(upper, _mm_set1_epi8(13)));
  return _mm_add_epi8(_mm_shuffle_epi8(CharacterOffsets128(), classes), values);
}

// 12 bytes (16 read) to 16 characters.
QUORVEL_SSSE3 inline void EncodeBlock12(const uint8_t* in, char* out) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i values = SixBitValues128(_mm_shuffle_epi8(bytes, SpreadShuffle128()));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Characters128(values));
}

QUORVEL_SSSE3 QUORVEL_WIDE_LOOP_ENTRY
size_t EncodeLinesSsse3(const uint8_t* in, size_t length, char* out) {
  size_t consumed = 0;
  while (length - consumed >= kEncodeLineReach) {
    const uint8_t* line = in + consumed;
    EncodeBlock12(line, out);
    EncodeBlock12(line + 12, out + 16);
    EncodeBlock12(line + 24, out + 32);
    EncodeBlock12(line + 36, out + 48);
    EncodeBlock12(line + 42, out + 56);
    out[kLineCharacters] = '\r';
    out[kLineCharacters + 1] = '\n';
    out += kLineCharacters + 2;
    consumed += kLineBytes;
  }
  return consumed;
}

// 24 bytes (28 read) to 32 characters: 12 bytes for each 128-bit lane.
QUORVEL_AVX2 inline void EncodeBlock24(const uint8_t* in, char* out) {
  const __m256i bytes = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 12)), 1);
  const __m256i spread =
      _mm256_shuffle_epi8(bytes, _mm256_broadcastsi128_si256(SpreadShuffle128()));
  const __m256i outer = _mm256_mulhi_epu16(
      _mm256_and_si256(spread, _mm256_set1_epi32(0x0FC0FC00)), _mm256_set1_epi32(0x04000040));
  const __m256i inner = _mm256_mullo_epi16(
      _mm256_and_si256(spread, _mm256_set1_epi32(0x003F03F0)), _mm256_set1_epi32(0x01000010));
  const __m256i values = _mm256_or_si256(outer, inner);
  __m256i classes = _mm256_subs_epu8(values, _mm256_set1_epi8(51));
  const __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), values);
  classes = _mm256_or_si256(classes, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
  const __m256i offsets =
      _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(CharacterOffsets128()), classes);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_add_epi8(offsets, values));
}

QUORVEL_AVX2 QUORVEL_WIDE_LOOP_ENTRY
size_t EncodeLinesAvx2(const uint8_t* in, size_t length, char* out) {
  size_t consumed = 0;
  while (length - consumed >= kEncodeLineReach) {
    const uint8_t* line = in + consumed;
    EncodeBlock24(line, out);
    EncodeBlock24(line + 24, out + 32);
    EncodeBlock12(line + 42, out + 56);
    out[kLineCharacters] = '\r';
    out[kLineCharacters + 1] = '\n';
    out += kLineCharacters + 2;
    consumed += kLineBytes;
  }
  return consumed;
}

// --- Decoding ---------------------------------------------------------------

// A character is foreign when the entries of its low and of its high
// half-byte share a bit. Bits name the ranges of the high half-byte: 0x01
// for 2 ("+" at B and "/" at F only), 0x02 for 3 (digits 0..9), 0x04 for 4
// and 6 (not at 0), 0x08 for 5 and 7 (up to A), 0x10 for every other high
// half-byte (nothing valid).
QUORVEL_SSSE3 inline __m128i ForeignByLow128() {
  return _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A,
                       0x1B, 0x1B, 0x1B, 0x1A);
}
QUORVEL_SSSE3 inline __m128i ForeignByHigh128() {
  return _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10,
                       0x10, 0x10, 0x10, 0x10);
}
// Added to a character to give its value, by its high half-byte; "/" is
// looked up one entry lower than "+".
QUORVEL_SSSE3 inline __m128i ValueOffsets128() {
  return _mm_setr_epi8(0, 63 - '/', 62 - '+', 52 - '0', -'A', -'A', 26 - 'a', 26 - 'a', 0, 0, 0,
                       0, 0, 0, 0, 0);
}
// Packed groups hold their 24 bits in the low three bytes, most significant
// first in the output.
QUORVEL_SSSE3 inline __m128i PackShuffle128() {
  return _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
}

// 16 characters to 12 bytes (16 stored); false, storing nothing, when one of
// them is not an alphabet character.
QUORVEL_SSSE3 inline bool DecodeBlock16(const uint8_t* in, uint8_t* out) {
  const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i high = _mm_and_si128(_mm_srli_epi32(text, 4), nibble);
  const __m128i low = _mm_and_si128(text, nibble);
  const __m128i foreign = _mm_and_si128(_mm_shuffle_epi8(ForeignByLow128(), low),
                                        _mm_shuffle_epi8(ForeignByHigh128(), high));
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(foreign, _mm_setzero_si128())) != 0xFFFF) return false;
  const __m128i slash = _mm_cmpeq_epi8(text, _mm_set1_epi8('/'));
  const __m128i values =
      _mm_add_epi8(text, _mm_shuffle_epi8(ValueOffsets128(), _mm_add_epi8(high, slash)));
  const __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
  const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(groups, PackShuffle128()));
  return true;
}

// A line of `characters` (at least 16, a multiple of 4) in 16-character
// blocks, the last one overlapping the one before when the width is not a
// multiple of 16; stores reach 4 bytes past the line's bytes.
QUORVEL_SSSE3 inline bool DecodeLine16(const uint8_t* line, size_t characters, uint8_t* out) {
  size_t at = 0;
  for (; characters - at >= 16; at += 16) {
    if (!DecodeBlock16(line + at, out + at / 4 * 3)) return false;
  }
  return at == characters || DecodeBlock16(line + characters - 16, out + (characters - 16) / 4 * 3);
}

// The decode loop of both widths: whole lines of the text's line shape while
// they decode, then `Block`-character blocks. Checked and stored block by
// block: a line that fails is decoded again by the caller from its start, so
// bytes stored so far do not matter. Always inlined into each width's entry,
// so that its block decoders are compiled for that width's instructions.
template <size_t Block, bool (*DecodeLine)(const uint8_t*, size_t, uint8_t*),
          bool (*DecodeBlock)(const uint8_t*, uint8_t*), bool PrefetchAhead>
__attribute__((always_inline)) inline size_t DecodeBlocksWith(const uint8_t* in, size_t length,
                                                              uint8_t* out, size_t room,
                                                              size_t& written) {
  size_t consumed = 0;
  written = 0;
  const LineShape shape = LineShapeAt(in, length, 16);
  const size_t stride = shape.characters + shape.breakLength;
  const size_t lineBytes = shape.characters / 4 * 3;
  while (shape.characters > 0 && length - consumed >= stride &&
         room - written >= lineBytes + kLineReachBeyond &&
         HasLineBreak(in + consumed + shape.characters, shape) &&
         DecodeLine(in + consumed, shape.characters, out + written)) {
    // Asked for a page ahead: without it the AVX2 loop waits on memory for
    // a large text read for the first time (15 MB: about 1 ms more).
    if constexpr (PrefetchAhead) __builtin_prefetch(in + consumed + 4096);
    consumed += stride;
    written += lineBytes;
  }
  while (length - consumed >= Block && room - written >= Block &&
         DecodeBlock(in + consumed, out + written)) {
    consumed += Block;
    written += Block / 4 * 3;
  }
  return consumed;
}

QUORVEL_SSSE3 QUORVEL_WIDE_LOOP_ENTRY
size_t DecodeBlocksSsse3(const uint8_t* in, size_t length, uint8_t* out,
                         size_t room, size_t& written) {
  return DecodeBlocksWith<16, DecodeLine16, DecodeBlock16, false>(in, length, out, room, written);
}

QUORVEL_AVX2 inline bool DecodeBlock32(const uint8_t* in, uint8_t* out) {
  const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i high = _mm256_and_si256(_mm256_srli_epi32(text, 4), nibble);
  const __m256i low = _mm256_and_si256(text, nibble);
  const __m256i foreign =
      _mm256_and_si256(_mm256_shuffle_epi8(_mm256_broadcastsi128_si256(ForeignByLow128()), low),
                       _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(ForeignByHigh128()), high));
  if (!_mm256_testz_si256(foreign, foreign)) return false;
  const __m256i slash = _mm256_cmpeq_epi8(text, _mm256_set1_epi8('/'));
  const __m256i values = _mm256_add_epi8(
      text, _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(ValueOffsets128()),
                                _mm256_add_epi8(high, slash)));
  const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
  const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
  const __m256i packed =
      _mm256_shuffle_epi8(groups, _mm256_broadcastsi128_si256(PackShuffle128()));
  // The 12 bytes of each 128-bit half side by side.
  const __m256i joined = _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), joined);
  return true;
}

// The same with 32-character blocks while 32 remain; stores reach 8 bytes
// past the line's bytes.
QUORVEL_AVX2 inline bool DecodeLine32(const uint8_t* line, size_t characters, uint8_t* out) {
  size_t at = 0;
  for (; characters - at >= 32; at += 32) {
    if (!DecodeBlock32(line + at, out + at / 4 * 3)) return false;
  }
  if (characters - at > 16) {
    if (!DecodeBlock16(line + at, out + at / 4 * 3)) return false;
    at += 16;
  }
  return at == characters || DecodeBlock16(line + characters - 16, out + (characters - 16) / 4 * 3);
}

QUORVEL_AVX2 QUORVEL_WIDE_LOOP_ENTRY
size_t DecodeBlocksAvx2(const uint8_t* in, size_t length, uint8_t* out,
                        size_t room, size_t& written) {
  return DecodeBlocksWith<32, DecodeLine32, DecodeBlock32, true>(in, length, out, room, written);
}

constexpr Base64Kernels kSsse3{EncodeLinesSsse3, DecodeBlocksSsse3};
constexpr Base64Kernels kAvx2{EncodeLinesAvx2, DecodeBlocksAvx2};

}  // namespace

const Base64Kernels* Ssse3Base64Kernels() { return &kSsse3; }
const Base64Kernels* Avx2Base64Kernels() { return &kAvx2; }

}  // namespace quorvel

#else

namespace quorvel {
const Base64Kernels* Ssse3Base64Kernels() { return nullptr; }
const Base64Kernels* Avx2Base64Kernels() { return nullptr; }
}  // namespace quorvel

#endif
