#include "mime/MultipartDelimiters.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

constexpr size_t kNone = std::string_view::npos;

// A delimiter counts only at a line start and followed by "--" or by blanks
// up to the line end; the next part starts after that line.
TEST(MultipartDelimiters, OnlyWholeDelimiterLinesCount) {
  const struct {
    std::string_view body;
    size_t at;
    bool closing;
    size_t next;
  } cases[] = {
      {"--b\r\npart", 0, false, 5},
      {"x--b\r\n--b\r\n", 6, false, 11},
      {"--b-\r\n--b--", 6, true, 11},
      {"--bx\n--b \t\r\nnext", 5, false, 12},
      {"--b--trailing\n", 0, true, 14},
      {"text\n--c\n", kNone, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    const DelimiterLine line = FindDelimiterLine(c.body, "--b", 0);
    EXPECT_EQ(line.at, c.at);
    EXPECT_EQ(line.closing, c.closing);
    if (c.at != kNone) {
      EXPECT_EQ(line.next, c.next);
    }
  }
  EXPECT_EQ(FindDelimiterLine("--b\n--b\n", "--b", 1).at, 4u) << "from where it is asked";
}

TEST(MultipartDelimiters, TheLineEndBeforeADelimiterBelongsToIt) {
  EXPECT_EQ(PartBefore("--b\r\npart\r\n--b", 5, 11), "part");
  EXPECT_EQ(PartBefore("--b\npart\n\n--b", 4, 10), "part\n");
  EXPECT_EQ(PartBefore("--b\n--b", 4, 4), "");
  EXPECT_EQ(PartBefore("--b\nrest", 4, kNone), "rest");
}

}  // namespace
}  // namespace quorvel
