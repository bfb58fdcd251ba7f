// Normalisation and level-by-level creation of directory paths.
#include "frame/Directories.h"

#include <gtest/gtest.h>

#include "TempDirectory.h"
#include "platform/FileSystem.h"

namespace quorvel {
namespace {

using testing::TempDirectory;

TEST(NormaliseDirectory, AppendsOneSeparatorToNonEmptyPaths) {
  EXPECT_EQ(NormaliseDirectory("/a/b"), "/a/b/");
  EXPECT_EQ(NormaliseDirectory("/a/b/"), "/a/b/");
  EXPECT_EQ(NormaliseDirectory(""), "");
  EXPECT_EQ(NormaliseDirectory("folder"), "folder/");
}

TEST(CreateDirectoryPath, MakesEveryMissingLevelInOrder) {
  TempDirectory dir;
  EXPECT_TRUE(CreateDirectoryPath(dir / "one/two/three"));
  EXPECT_TRUE(platform::IsExistingDirectory(dir / "one"));
  EXPECT_TRUE(platform::IsExistingDirectory(dir / "one/two/three"));
  EXPECT_TRUE(CreateDirectoryPath(dir / "one/two/three/")) << "all levels exist";
}

TEST(CreateDirectoryPath, FailsWhereALevelCannotBeMade) {
  TempDirectory dir;
  testing::WriteFile(dir / "file", "x");
  EXPECT_FALSE(CreateDirectoryPath(dir / "file/below"));
  EXPECT_FALSE(CreateDirectoryPath("")) << "no separator at all";
}

TEST(CreateDirectoryPath, NeverCreatesTheFirstComponentOfARelativePath) {
  EXPECT_TRUE(CreateDirectoryPath("quorvel-never-created"));
  EXPECT_FALSE(platform::IsExistingDirectory("quorvel-never-created/"));
  EXPECT_FALSE(CreateDirectoryPath("quorvel-never-created/below"))
      << "the first level is missing and is not created";
}

TEST(ExistingOrCreatedDirectory, AnswersTheNormalisedPath) {
  TempDirectory dir;
  EXPECT_EQ(ExistingOrCreatedDirectory((dir / "new/level").c_str()), dir / "new/level/");
  EXPECT_EQ(ExistingOrCreatedDirectory(dir.path().c_str()), dir.path());
  EXPECT_FALSE(ExistingOrCreatedDirectory(nullptr));
  EXPECT_FALSE(ExistingOrCreatedDirectory(""));
}

}  // namespace
}  // namespace quorvel
