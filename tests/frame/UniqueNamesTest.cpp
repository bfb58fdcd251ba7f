#include "frame/UniqueNames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <latch>
#include <set>
#include <thread>
#include <vector>

#include "TempDirectory.h"
#include "frame/WorkingDirectory.h"
#include "platform/Faults.h"
#include "platform/File.h"
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

// A move takes the first free name as a creation would, never replacing a
// file; what it learnt lets the next move start past the names it saw.
TEST(UniqueNameMovedFrom, MovesTheFileToTheFirstFreeNameAndRemembersTheTakenOnes) {
  TempDirectory from, to;
  for (const int n : {0, 1, 2, 3, 4, 6}) WriteFile(to / ("~AT" + std::to_string(n) + ".mes"), "old");
  struct Move {
    uint32_t known;
    const char* expected;  // "" when nothing may move
    uint32_t knownAfter;
  };
  const Move moves[] = {{0, "~AT5.mes", 6}, {6, "~AT7.mes", 8}, {1, "~AT8.mes", 9}, {2, "~AT9.mes", 10}};
  for (const Move& move : moves) {
    WriteFile(from / "mail.mes", move.expected);
    uint32_t known = move.known;
    EXPECT_EQ(UniqueNameMovedFrom(from / "mail.mes", known, "mes", to.path()), to / move.expected);
    EXPECT_EQ(known, move.knownAfter) << move.expected;
    EXPECT_EQ(ReadFile(to / move.expected), move.expected);
    EXPECT_FALSE(platform::IsExistingFile(from / "mail.mes"));
  }
  EXPECT_EQ(ReadFile(to / "~AT6.mes"), "old") << "an existing file is never replaced";
  std::filesystem::remove(to / "~AT1.mes");
  WriteFile(from / "mail.mes", "x");
  uint32_t known = 10;
  EXPECT_EQ(UniqueNameMovedFrom(from / "mail.mes", known, "mes", to.path()), to / "~AT10.mes")
      << "a name freed below what is known is passed over";
  uint32_t fresh = 0;
  EXPECT_EQ(UniqueNameMovedFrom(from / "gone.mes", fresh, "mes", to.path()), "");
  EXPECT_EQ(UniqueNameMovedFrom(to / "~AT10.mes", fresh, "mes", to / "missing/"), "");
  EXPECT_TRUE(platform::IsExistingFile(to / "~AT10.mes")) << "a failed move leaves the file";
}

// A caller taking one name after another (a mailbox) starts its next search
// just past the name it took last.
TEST(UniqueNameFrom, StartsTheNextSearchPastTheNameTaken) {
  TempDirectory dir;
  for (const int n : {0, 1, 2, 3, 4, 6}) WriteFile(dir / ("~AT" + std::to_string(n) + ".qv6"), "old");
  uint32_t known = 0;
  EXPECT_EQ(UniqueNameFrom(known, "qv6", dir.path()), dir / "~AT5.qv6");
  EXPECT_EQ(known, 6u);
  EXPECT_EQ(UniqueNameFrom(known, "qv6", dir.path()), dir / "~AT7.qv6");
  EXPECT_EQ(known, 8u);
  EXPECT_EQ(ReadFile(dir / "~AT6.qv6"), "old") << "an existing file is never touched";
  uint32_t none = 0;
  EXPECT_EQ(UniqueNameFrom(none, "qv6", dir / "missing/"), "");
  EXPECT_EQ(none, 0u);
  EXPECT_FALSE(CreateUniqueFile(none, "qv6", dir / "missing/"));

  // The same name taken with the file kept open, shared with no one.
  std::optional<platform::File> file = CreateUniqueFile(known, "qv6", dir.path());
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Path(), dir / "~AT8.qv6");
  EXPECT_EQ(known, 9u);
  EXPECT_FALSE(platform::File::TryOpen(file->Path(), platform::FileAccess::Read,
                                       platform::FileShare::DenyNone,
                                       platform::FileDisposition::OpenExisting));
  file->Write("new", 3);
  file->Close();
  EXPECT_EQ(ReadFile(dir / "~AT8.qv6"), "new");
}

TEST(UniqueTempName, DefaultsToTheWorkingDirectoryPrefixAndExtension) {
  const std::string name = UniqueTempName();
  const std::string base = WorkingDirectory() + "~AT";
  ASSERT_EQ(base.compare(0, platform::TemporaryDirectory().size(), platform::TemporaryDirectory()), 0);
  ASSERT_EQ(name.compare(0, base.size(), base), 0) << name;
  EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
  EXPECT_TRUE(platform::RemoveFile(name));
}

TEST(UniqueTempName, ThreadsTakingNamesAtOnceNeverShareOne) {
  TempDirectory dir;
  constexpr int kThreads = 8;
  constexpr int kNamesEach = 25;
  std::latch start(kThreads);
  std::vector<std::vector<std::string>> names(kThreads);
  std::vector<std::thread> takers;
  for (auto& taken : names) {
    takers.emplace_back([&taken, &start, &dir] {
      start.arrive_and_wait();
      for (int i = 0; i < kNamesEach; ++i) taken.push_back(UniqueTempName("qvz", dir.path()));
    });
  }
  std::set<std::string> distinct;
  for (int t = 0; t < kThreads; ++t) {
    takers[t].join();
    distinct.insert(names[t].begin(), names[t].end());
  }
  EXPECT_EQ(distinct.size(), size_t{kThreads * kNamesEach});
  EXPECT_EQ(distinct.count(""), 0u);
}

}  // namespace
}  // namespace quorvel
