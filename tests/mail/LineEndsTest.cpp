#include "text/LineEnds.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

// A lone LF is found wherever it lies: the first byte, inside and at both
// edges of the 64-byte blocks, in the tail after them; a CR LF split across
// two blocks is a line end like any other.
TEST(LineEnds, EveryLoneLineFeedIsFound) {
  const std::string text(300, 'x');
  EXPECT_TRUE(EndsEveryLineWithCrLf(text));
  for (const size_t at : {0, 1, 15, 16, 63, 64, 65, 128, 191, 192, 193, 250, 299}) {
    SCOPED_TRACE(at);
    std::string lone = text;
    lone[at] = '\n';
    EXPECT_FALSE(EndsEveryLineWithCrLf(lone));
    if (at == 0) continue;
    std::string paired = lone;
    paired[at - 1] = '\r';
    EXPECT_TRUE(EndsEveryLineWithCrLf(paired));
  }
}

// Every LF that follows no CR gets one, also where the CR LF or the lone LF
// meets the edge between two pieces; nothing else changes.
TEST(LineEnds, WrittenInPiecesWithACrBeforeEveryLoneLineFeed) {
  const size_t edge = kCrLfPieceBytes;
  const std::string crLfAcross = std::string(edge - 1, 'x') + "\r\n" + std::string(9, 'x');
  const std::string lfAtEdge = std::string(edge, 'x') + "\n" + std::string(9, 'x');
  const struct {
    std::string text;
    std::string written;
  } cases[] = {
      {"", ""},
      {"\n", "\r\n"},
      {"a\nb", "a\r\nb"},
      {"a\r\nb\n\n", "a\r\nb\r\n\r\n"},
      {"a\rb\r", "a\rb\r"},
      {crLfAcross, crLfAcross},
      {crLfAcross + "\n", crLfAcross + "\r\n"},
      {lfAtEdge, std::string(edge, 'x') + "\r\n" + std::string(9, 'x')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    std::string written;
    WriteWithCrLfLines(c.text, [&](std::string_view piece) { written.append(piece); });
    EXPECT_EQ(written, c.written);
  }
}

}  // namespace
}  // namespace quorvel
