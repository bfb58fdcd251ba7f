// Each LF is compared with the byte before it, 64 bytes at a time where the
// compiler offers 16-byte vectors (the x86-64 baseline), byte by byte for
// the rest.
#include "text/LineEnds.h"

#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvel {

namespace {

#if defined(__SSE2__)
// Bit i set when text[i] is LF and text[i - 1] is not CR.
inline int LoneLineFeeds16(const char* text) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text - 1));
  return _mm_movemask_epi8(_mm_andnot_si128(_mm_cmpeq_epi8(before, _mm_set1_epi8('\r')),
                                            _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
}

// The whole blocks of 64 from `at` (at least 1) on, `at` moved past them;
// false when one holds a lone LF.
bool CheckWideBlocks(std::string_view text, size_t& at) {
  for (; text.size() - at >= 64; at += 64) {
    const char* block = text.data() + at;
    if ((LoneLineFeeds16(block) | LoneLineFeeds16(block + 16) | LoneLineFeeds16(block + 32) |
         LoneLineFeeds16(block + 48)) != 0) {
      return false;
    }
  }
  return true;
}
#endif

}  // namespace

bool EndsEveryLineWithCrLf(std::string_view text, char before) {
  if (text.empty()) return true;
  if (text[0] == '\n' && before != '\r') return false;
  size_t at = 1;
#if defined(__SSE2__)
  if (!CheckWideBlocks(text, at)) return false;
#endif
  for (; at < text.size(); ++at) {
    if (text[at] == '\n' && text[at - 1] != '\r') return false;
  }
  return true;
}

void WriteWithCrLfLines(std::string_view text, const std::function<void(std::string_view)>& write) {
  std::string completed;
  char before = '\0';
  for (size_t at = 0; at < text.size(); at += kCrLfPieceBytes) {
    const std::string_view piece = text.substr(at, kCrLfPieceBytes);
    if (EndsEveryLineWithCrLf(piece, before)) {
      write(piece);
    } else {
      // Copied between the LFs that need a CR, each LF going with the
      // stretch after it.
      completed.clear();
      size_t from = 0;
      for (size_t lf = piece.find('\n'); lf != std::string_view::npos; lf = piece.find('\n', lf + 1)) {
        if ((lf == 0 ? before : piece[lf - 1]) == '\r') continue;
        completed.append(piece.substr(from, lf - from));
        completed += '\r';
        from = lf;
      }
      completed.append(piece.substr(from));
      write(completed);
    }
    before = piece.back();
  }
}

}  // namespace quorvel
