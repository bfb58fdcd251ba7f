// Names that quorvel mailbox extract writes: hostile display names reduced to plain file names
// (tests/data/safe-names), and clashes numbered instead of replaced.
#include <gtest/gtest.h>

#include "ByteCases.h"
#include "SafeFileNames.h"
#include "TempDirectory.h"

namespace quorvel::tool {
namespace {

using testing::ReadFile;
using testing::TempDirectory;
using testing::WriteFile;

TEST(SafeFileNames, DirectoryPartsAndControlCharactersAreDropped) {
  for (const std::vector<std::string>& row : testing::CaseTable("safe-names/cases.txt")) {
    EXPECT_EQ(SafeFileName(testing::ParseBytes(row[0])), testing::ParseBytes(row[1])) << row[0];
  }
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
