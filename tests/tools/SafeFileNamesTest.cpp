// Names that quorvel mailbox extract writes: hostile display names reduced to
// plain file names, and clashes numbered instead of replaced.
#include <gtest/gtest.h>

#include "SafeFileNames.h"
#include "TempDirectory.h"

namespace quorvel::tool {
namespace {

using testing::ReadFile;
using testing::TempDirectory;
using testing::WriteFile;

TEST(SafeFileNames, DirectoryPartsAndControlCharactersAreDropped) {
  const std::pair<std::string, std::string> cases[] = {
      {"essay.txt", "essay.txt"},
      {"../../etc/passwd", "passwd"},
      {"..\\..\\boot.ini", "boot.ini"},
      {"/abs/olute", "olute"},
      {"dir/", "file"},
      {"..", "file"},
      {".", "file"},
      {"", "file"},
      {"a\x01\tb\x7F\nc.txt", "abc.txt"},
      {"\x1B/..\x1B", "file"},
      {"caf\xC3\xA9 .doc", "caf\xC3\xA9 .doc"},
      {".hidden", ".hidden"},
  };
  for (const auto& [name, safe] : cases) EXPECT_EQ(SafeFileName(name), safe) << name;
}

TEST(SafeFileNames, AClashGetsTheNextNumberAndNothingIsReplaced) {
  TempDirectory directory;
  WriteFile(directory / "a.txt", "kept");
  WriteFile(directory / "a (2).txt", "kept too");
  EXPECT_EQ(ReserveSafeName(directory.path(), "x/a.txt"), directory / "a (3).txt");
  EXPECT_EQ(ReserveSafeName(directory.path(), "a.txt"), directory / "a (4).txt");
  EXPECT_EQ(ReadFile(directory / "a.txt"), "kept");
  EXPECT_EQ(ReadFile(directory / "a (2).txt"), "kept too");
  EXPECT_EQ(ReserveSafeName(directory.path(), ".profile"), directory / ".profile");
  EXPECT_EQ(ReserveSafeName(directory.path(), ".profile"), directory / ".profile (2)");
  EXPECT_EQ(ReserveSafeName(directory.path(), "README"), directory / "README");
  EXPECT_EQ(ReserveSafeName(directory.path(), "README"), directory / "README (2)");
  EXPECT_EQ(ReserveSafeName(directory / "missing", "a"), std::nullopt);
}

}  // namespace
}  // namespace quorvel::tool
