// Normalisation and level-by-level creation of directory paths.
#include "frame/Directories.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "TempDirectory.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

TEST(NormaliseDirectory, AppendsOneSeparatorToNonEmptyPaths) {
  const std::string separator(1, platform::kPathSeparator);
  EXPECT_EQ(NormaliseDirectory("/a/b"), "/a/b" + separator);
  EXPECT_EQ(NormaliseDirectory("/a/b/"), "/a/b/") << "\"/\" separates on every system";
  EXPECT_EQ(NormaliseDirectory(""), "");
  EXPECT_EQ(NormaliseDirectory("folder"), "folder" + separator);
}

// A failed creation leaves the tree as it found it.
TEST(CreateDirectoryPath, AFailureLeavesNothingBehind) {
  TempDirectory dir;
  std::string deep = dir.path();
  while (deep.size() < 100 * 1024) deep += "a/";
  EXPECT_FALSE(CreateDirectoryPath(deep)) << "longer than the system can hold";
  EXPECT_FALSE(CreateDirectoryPath(dir / (std::string(300, 'n') + "/b")))
      << "a name longer than the system allows";
  EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "nothing was created";

  std::filesystem::create_directory(dir / "kept");
  platform::FileFaults faults;
  faults.Fail(platform::FileOperation::MakeDirectory, 3);
  EXPECT_FALSE(CreateDirectoryPath(dir / "kept/x/y/z/w"));
  EXPECT_TRUE(faults.Fired());
  EXPECT_TRUE(platform::IsExistingDirectory(dir / "kept")) << "what existed before stays";
  EXPECT_FALSE(platform::IsExistingDirectory(dir / "kept/x")) << "what was made is removed";
  EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(dir.path()),
                          std::filesystem::recursive_directory_iterator()), 1);
}

}  // namespace
}  // namespace quorvel
