#include "frame/UniqueNames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <set>
#include <thread>
#include <vector>

#include "TempDirectory.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

TEST(UniqueTempName, TakesTheSmallestFreeNumberByCreatingAnEmptyFile) {
  TempDirectory dir;
  EXPECT_EQ(UniqueTempName("qv6", dir.path()), dir / "~AT0.qv6");
  EXPECT_TRUE(platform::IsExistingFile(dir / "~AT0.qv6")) << "the name is taken at once";
  EXPECT_EQ(ReadFile(dir / "~AT0.qv6"), "");
  WriteFile(dir / "~AT1.qv6", "x");
  std::filesystem::create_directory(dir / "~AT2.qv6");
  WriteFile(dir / "~AT4.qv6", "");
  EXPECT_EQ(UniqueTempName("qv6", dir.path()), dir / "~AT3.qv6")
      << "files and directories of the name are passed over";
  EXPECT_EQ(UniqueTempName("qv6", dir.path()), dir / "~AT5.qv6");
  EXPECT_EQ(ReadFile(dir / "~AT1.qv6"), "x") << "an existing file is never touched";
  EXPECT_EQ(UniqueTempName("mes", dir.path(), "x"), dir / "x0.mes");

  EXPECT_EQ(UniqueTempName("qv6", dir / "missing/"), "") << "no directory, no name";
  platform::FileFaults faults;
  faults.Fail(platform::FileOperation::Open, 1);
  EXPECT_EQ(UniqueTempName("qv6", dir.path(), "y"), dir / "y0.qv6")
      << "a creation that failed of a name that is not there is tried again, not passed over";
  EXPECT_TRUE(faults.Fired());
}

// Past the first few names the directory is listed once; only names spelled
// exactly are passed over, so the first free number is the same as when
// every name is tried.
TEST(UniqueTempName, ManyTakenNamesGiveTheSameFirstFreeNumber) {
  TempDirectory dir;
  for (int n = 0; n < 12; ++n) {
    if (n != 7) WriteFile(dir / ("~AT" + std::to_string(n) + ".eml"), "");
  }
  std::filesystem::create_directory(dir / "~AT12.eml");
  for (const char* other : {"~AT07.eml", "~AT7.emlx", "~AT7.eml.bak", "~AT7x.eml", "AT7.eml",
                            "~AT99999999999.eml", "~AT-7.eml"}) {
    WriteFile(dir / other, "");
  }
  EXPECT_EQ(UniqueTempName("eml", dir.path()), dir / "~AT7.eml");
  EXPECT_EQ(UniqueTempName("eml", dir.path()), dir / "~AT13.eml") << "a directory is passed over";
  EXPECT_EQ(UniqueTempName("eml", dir.path()), dir / "~AT14.eml");
  std::filesystem::remove(dir / "~AT5.eml");
  EXPECT_EQ(UniqueTempName("eml", dir.path()), dir / "~AT5.eml");
  std::filesystem::remove(dir / "~AT0.eml");
  EXPECT_EQ(UniqueTempName("eml", dir.path()), dir / "~AT0.eml");
}

TEST(UniqueTempName, DefaultsToTheTemporaryDirectoryPrefixAndExtension) {
  const std::string name = UniqueTempName();
  const std::string base = platform::TemporaryDirectory() + "~AT";
  ASSERT_EQ(name.compare(0, base.size(), base), 0) << name;
  EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
  EXPECT_TRUE(platform::RemoveFile(name));
}

TEST(UniqueTempName, ThreadsTakingNamesAtOnceNeverShareOne) {
  TempDirectory dir;
  constexpr int kThreads = 8;
  constexpr int kNamesEach = 25;
  std::promise<void> go;
  std::shared_future<void> start = go.get_future().share();
  std::vector<std::future<std::vector<std::string>>> takers;
  for (int t = 0; t < kThreads; ++t) {
    takers.push_back(std::async(std::launch::async, [&, start] {
      start.wait();
      std::vector<std::string> names;
      for (int i = 0; i < kNamesEach; ++i) names.push_back(UniqueTempName("qvz", dir.path()));
      return names;
    }));
  }
  go.set_value();
  std::set<std::string> distinct;
  for (auto& taker : takers) {
    for (const std::string& name : taker.get()) distinct.insert(name);
  }
  EXPECT_EQ(distinct.size(), size_t{kThreads * kNamesEach});
  EXPECT_EQ(distinct.count(""), 0u);
}

}  // namespace
}  // namespace quorvel
