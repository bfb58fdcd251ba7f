// Wildcard patterns, copy, move, delete, read-only and file stamps.
#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <tuple>

#include "TempDirectory.h"
#include "platform/Paths.h"
#include "platform/WildcardMatch.h"

namespace quorvel::platform {
namespace {

using namespace quorvel::testing;

TEST(Listing, WildcardRules) {
  const std::tuple<std::string, std::string, bool> cases[] = {
      {"*", "", true},           {"a?c", "ABC", true},       {"a?c", "ac", false},
      {"*.log", "x.y.log", true}, {"*.log", "x.logs", false}, {"~*.log", "~.log", true},
      {"a*b*c", "aXXbYYbZc", true}, {"a*b*c", "aXXbYY", false},
      {std::string(64, '*') + "b", std::string(4096, 'a'), false},
  };
  for (const auto& [pattern, name, matches] : cases) {
    EXPECT_EQ(WildcardMatch(pattern, name), matches) << pattern << " " << name.substr(0, 20);
  }
}

TEST(Copying, DuplicateKeepsBytesAndHonoursFailIfExists) {
  TempDirectory dir;
  std::string big(1 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  WriteFile(dir / "a", big);
  WriteFile(dir / "b", "old");
  EXPECT_FALSE(DuplicateFile(dir / "a", dir / "b", true));
  EXPECT_EQ(ReadFile(dir / "b"), "old");
  EXPECT_TRUE(DuplicateFile(dir / "a", dir / "b", false));
  EXPECT_EQ(ReadFile(dir / "b"), big);
  EXPECT_FALSE(DuplicateFile(dir / "missing", dir / "c", false));
  EXPECT_FALSE(DuplicateFile(dir.path(), dir / "c", false)) << "a directory is no file";
}

TEST(Deleting, AReadOnlyFileStaysUntilTheAttributeIsCleared) {
  TempDirectory dir;
  WriteFile(dir / "f", "x");
  ASSERT_TRUE(SetReadOnly(dir / "f", true));
  EXPECT_TRUE(IsReadOnly(dir / "f"));
  EXPECT_FALSE(RemoveFile(dir / "f"));
  EXPECT_TRUE(IsExistingFile(dir / "f"));
  ASSERT_TRUE(SetReadOnly(dir / "f", false));
  EXPECT_TRUE(RemoveFile(dir / "f"));
  EXPECT_FALSE(IsExistingFile(dir / "f"));
  EXPECT_FALSE(RemoveFile(dir / "f"));
  EXPECT_FALSE(RemoveFile(dir.path())) << "a directory";
}

// A file keeps its stamp until its length or its write time changes.
TEST(Stamps, TellAFileRewrittenSince) {
  TempDirectory dir;
  const std::string file = dir / "a.mes";
  const auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1000);
  WriteFile(file, "one");
  std::filesystem::last_write_time(file, past);
  const std::optional<FileStamp> stamp = StampOf(file);
  ASSERT_TRUE(stamp.has_value());
  EXPECT_EQ(stamp->length, 3u);
  EXPECT_EQ(StampOf(file), stamp);
  WriteFile(file, "two");
  std::filesystem::last_write_time(file, past + std::chrono::seconds(1));
  EXPECT_NE(StampOf(file), stamp) << "the same length written later";
  WriteFile(file, "three");
  std::filesystem::last_write_time(file, past);
  EXPECT_NE(StampOf(file), stamp) << "another length, the same time";
  EXPECT_FALSE(StampOf(dir.path()).has_value());
  EXPECT_FALSE(StampOf(dir / "missing").has_value());
}

// A private directory is the user's own, closed to the group and to others
// (POSIX permission bits; Windows keeps its own access lists).
TEST(PrivateDirectories, AnyBitForTheGroupOrOthersOpensIt) {
  if (kPathSeparator == '\\') GTEST_SKIP() << "POSIX permission bits only";
  TempDirectory dir;
  ASSERT_TRUE(MakePrivateDirectory(dir / "p"));
  EXPECT_TRUE(IsOwnPrivateDirectory(dir / "p/"));
  for (const auto bit : {std::filesystem::perms::group_read, std::filesystem::perms::others_exec}) {
    std::filesystem::permissions(dir / "p", bit, std::filesystem::perm_options::add);
    EXPECT_FALSE(IsOwnPrivateDirectory(dir / "p"));
    std::filesystem::permissions(dir / "p", bit, std::filesystem::perm_options::remove);
  }
  EXPECT_FALSE(IsOwnPrivateDirectory(dir / "missing"));
}

}  // namespace
}  // namespace quorvel::platform
