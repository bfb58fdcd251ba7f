#include "mime/LineEnds.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

// A lone LF is found wherever it lies: the first byte, inside and at both
// edges of the 64-byte blocks, in the tail after them; a CR LF split across
// two blocks is a line end like any other.
TEST(LineEnds, EveryLoneLineFeedIsFound) {
  EXPECT_TRUE(EndsEveryLineWithCrLf(""));
  EXPECT_TRUE(EndsEveryLineWithCrLf("no line end"));
  EXPECT_FALSE(EndsEveryLineWithCrLf("\n"));
  EXPECT_TRUE(EndsEveryLineWithCrLf("\r\n"));
  std::string text(300, 'x');
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
    // Only the byte right before counts.
    if (at < 2) continue;
    std::string early = lone;
    early[at - 2] = '\r';
    EXPECT_FALSE(EndsEveryLineWithCrLf(early));
  }
}

}  // namespace
}  // namespace quorvel
