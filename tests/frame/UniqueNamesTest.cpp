#include "frame/UniqueNames.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDirectory.h"
#include "platform/Paths.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

TEST(UniqueTempName, TheSmallestNumberWithoutAFileOfThatName) {
  TempDirectory dir;
  EXPECT_EQ(UniqueTempName("qv6", dir.path()), dir / "~AT0.qv6");
  WriteFile(dir / "~AT0.qv6", "");
  WriteFile(dir / "~AT1.qv6", "");
  WriteFile(dir / "~AT3.qv6", "");
  EXPECT_EQ(UniqueTempName("qv6", dir.path()), dir / "~AT2.qv6");
  std::filesystem::create_directory(dir / "~AT2.qv6");
  EXPECT_EQ(UniqueTempName("qv6", dir.path()), dir / "~AT2.qv6") << "a directory does not count";
  EXPECT_EQ(UniqueTempName("mes", dir.path(), "x"), dir / "x0.mes");
}

TEST(UniqueTempName, DefaultsToTheTemporaryDirectoryPrefixAndExtension) {
  const std::string name = UniqueTempName();
  const std::string base = platform::TemporaryDirectory() + "~AT";
  ASSERT_EQ(name.compare(0, base.size(), base), 0) << name;
  EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
}

}  // namespace
}  // namespace quorvel
