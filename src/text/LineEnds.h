// The CR LF line ends of a record's text, checked and completed at memory
// speed: received texts of several megabytes go through them.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace quorvel {

// Whether every LF of the text follows a CR (true for a text without LF);
// `before` is the byte that precedes the text, if any.
bool EndsEveryLineWithCrLf(std::string_view text, char before = '\0');

// Hands the text to `write` in pieces of at most kCrLfPieceBytes (more for
// a piece that gains CRs), with a CR put before every LF that follows none,
// as MailData::SetMessage does. Each piece is checked right before it is
// handed over, so that a text that needs nothing is read from memory once.
inline constexpr size_t kCrLfPieceBytes = 256 * 1024;
void WriteWithCrLfLines(std::string_view text, const std::function<void(std::string_view)>& write);

}  // namespace quorvel
