// The file name and the directory of a path, cut at this system's separators.
#include <gtest/gtest.h>

#include <string>

#include "platform/Paths.h"

namespace quorvel::platform {
namespace {

TEST(PathNames, CutAtTheLastSeparator) {
  const std::string sep(1, kPathSeparator);
  const struct {
    std::string path, directory, name;
  } cases[] = {
      {"", "", ""},
      {"name.eml", "", "name.eml"},
      {sep + "name", sep, "name"},
      {"a" + sep + "b" + sep + "c.txt", "a" + sep + "b" + sep, "c.txt"},
      {"a" + sep, "a" + sep, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DirectoryOf(c.path), c.directory) << c.path;
    EXPECT_EQ(FileNameOf(c.path), c.name) << c.path;
    EXPECT_EQ(DirectoryOf(c.path) + FileNameOf(c.path), c.path);
  }
  // A backslash separates only where the system reads it as a separator.
  const bool backslashSeparates = IsPathSeparator('\\');
  EXPECT_EQ(FileNameOf("dir\\file"), backslashSeparates ? "file" : "dir\\file");
}

}  // namespace
}  // namespace quorvel::platform
