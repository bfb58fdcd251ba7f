// Paths cut at this system's separators, the prefix a creation of
// directories must not make, and on Windows drive letters, network shares,
// both separators and the system's path limits (skipped on other systems).
#include <gtest/gtest.h>

#include <optional>
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

TEST(SystemDirectories, UncreatedPrefix) {
  EXPECT_EQ(UncreatedPrefixLength("/a/b/"), 1u);
  EXPECT_EQ(UncreatedPrefixLength("rel/a/"), 4u);
  EXPECT_EQ(UncreatedPrefixLength("folder/"), 7u);
  EXPECT_FALSE(UncreatedPrefixLength("nothing"));
  EXPECT_FALSE(UncreatedPrefixLength(""));
}

bool OnWindows() { return kPathSeparator == '\\'; }

TEST(WindowsPaths, DrivesSharesAndBothSeparators) {
  if (!OnWindows()) GTEST_SKIP() << "Windows paths only";
  const struct {
    std::string_view path;
    std::optional<size_t> uncreated;
  } cases[] = {
      {"C:\\a\\b\\", 3},
      {"c:/a/", 3},
      {"C:a\\", std::nullopt},  // relative to the drive's current directory
      {"\\\\server\\share\\a\\", 15},
      {"//server/share/", 15},
      {"\\\\server\\", std::nullopt},
      {"\\\\server\\\\a\\", std::nullopt},  // no share name
      {"\\\\server\\share", std::nullopt},
      {"\\\\\\share\\", std::nullopt},
      {"\\a\\", 1},
      {"ab/c\\", 3},
      {"a", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(UncreatedPrefixLength(c.path), c.uncreated) << c.path;
  EXPECT_TRUE(IsPathSeparator('/'));
  EXPECT_TRUE(IsPathSeparator('\\'));
  EXPECT_FALSE(IsPathSeparator(':'));
}

TEST(WindowsPaths, LimitsAre259CharactersAnd255PerName) {
  if (!OnWindows()) GTEST_SKIP() << "Windows paths only";
  EXPECT_TRUE(IsPathWithinSystemLimits("C:\\" + std::string(255, 'a')));
  EXPECT_FALSE(IsPathWithinSystemLimits("C:\\" + std::string(256, 'a')));
  EXPECT_FALSE(IsPathWithinSystemLimits("C:/" + std::string(256, 'a') + "/b"));
  const std::string deep = "C:\\" + std::string(200, 'a') + "\\" + std::string(55, 'b');
  EXPECT_TRUE(IsPathWithinSystemLimits(deep));  // 259 characters
  EXPECT_FALSE(IsPathWithinSystemLimits(deep + "c"));
}

}  // namespace
}  // namespace quorvel::platform
