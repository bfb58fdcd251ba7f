// What only the Windows platform layer has: drive letters, network shares,
// both separators, the system's path limits and a deny-write holder that
// keeps out every writer (flock on POSIX cannot). Skipped on other systems.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "TempDirectory.h"
#include "platform/File.h"
#include "platform/Paths.h"

namespace quorvel::platform {
namespace {

using namespace quorvel::testing;

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

TEST(WindowsSharing, ADenyWriteHolderKeepsOutADenyNoneWriter) {
  if (!OnWindows()) GTEST_SKIP() << "flock has no deny-write mode";
  TempDirectory dir;
  WriteFile(dir / "f", "data");
  auto holder = File::TryOpen(dir / "f", FileAccess::Read, FileShare::DenyWrite,
                              FileDisposition::OpenExisting);
  ASSERT_TRUE(holder);
  FileError::Cause why = FileError::Cause::Generic;
  EXPECT_FALSE(File::TryOpen(dir / "f", FileAccess::Write, FileShare::DenyNone,
                             FileDisposition::OpenExisting, &why));
  EXPECT_EQ(why, FileError::Cause::SharingViolation);
  EXPECT_TRUE(File::TryOpen(dir / "f", FileAccess::Read, FileShare::DenyNone,
                            FileDisposition::OpenExisting));
}

}  // namespace
}  // namespace quorvel::platform
