// Normalisation and level-by-level creation of directory paths.
#include "frame/Directories.h"

#include <gtest/gtest.h>

#include "platform/FileSystem.h"

namespace quorvel {
namespace {

TEST(NormaliseDirectory, AppendsOneSeparatorToNonEmptyPaths) {
  EXPECT_EQ(NormaliseDirectory("/a/b"), "/a/b/");
  EXPECT_EQ(NormaliseDirectory("/a/b/"), "/a/b/");
  EXPECT_EQ(NormaliseDirectory(""), "");
  EXPECT_EQ(NormaliseDirectory("folder"), "folder/");
}

TEST(CreateDirectoryPath, NeverCreatesTheFirstComponentOfARelativePath) {
  EXPECT_TRUE(CreateDirectoryPath("quorvel-never-created"));
  EXPECT_FALSE(platform::IsExistingDirectory("quorvel-never-created/"));
  EXPECT_FALSE(CreateDirectoryPath("quorvel-never-created/below"))
      << "the first level is missing and is not created";
}

}  // namespace
}  // namespace quorvel
