// Directory paths, unique names taken by creating or moving files, and the
// working directories of processes sharing one temporary directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <latch>
#include <set>
#include <thread>
#include <vector>

#include "../exchange/ItemTest.h"
#include "frame/Directories.h"
#include "frame/UniqueNames.h"
#include "frame/WorkingDirectory.h"
#include "platform/ChildProcess.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;
namespace fs = std::filesystem;

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
  EXPECT_TRUE(fs::is_empty(dir.path())) << "nothing was created";
  fs::create_directory(dir / "kept");
  platform::FileFaults faults;
  faults.Fail(platform::FileOperation::MakeDirectory, 3);
  EXPECT_FALSE(CreateDirectoryPath(dir / "kept/x/y/z/w"));
  EXPECT_TRUE(faults.Fired());
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.path()),
                          fs::recursive_directory_iterator()), 1) << "only what existed before";
  EXPECT_TRUE(platform::IsExistingDirectory(dir / "kept"));
}

TEST(UniqueTempName, TakesTheSmallestFreeNumberByCreatingAnEmptyFile) {
  TempDirectory dir;
  EXPECT_EQ(UniqueTempName("qv6", dir.path()), dir / "~AT0.qv6");
  EXPECT_TRUE(platform::IsExistingFile(dir / "~AT0.qv6")) << "the name is taken at once";
  EXPECT_EQ(ReadFile(dir / "~AT0.qv6"), "");
  WriteFile(dir / "~AT1.qv6", "x");
  fs::create_directory(dir / "~AT2.qv6");
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
  // Without a directory: the working directory, prefix and extension.
  const std::string name = UniqueTempName(), base = WorkingDirectory() + "~AT";
  ASSERT_TRUE(base.starts_with(platform::TemporaryDirectory()));
  EXPECT_TRUE(name.starts_with(base) && name.ends_with(".tmp")) << name;
  EXPECT_TRUE(platform::RemoveFile(name));
}

// Past the first few names the directory is listed once; only names spelled
// exactly are passed over, so the first free number is the same as when
// every name is tried.
TEST(UniqueTempName, ManyTakenNamesGiveTheSameFirstFreeNumber) {
  TempDirectory dir;
  for (int n = 0; n < 12; ++n) {
    if (n != 7) WriteFile(dir / ("~AT" + std::to_string(n) + ".eml"), "");
  }
  fs::create_directory(dir / "~AT12.eml");
  for (const char* other : {"~AT07.eml", "~AT7.emlx", "~AT7.eml.bak", "~AT7x.eml", "AT7.eml",
                            "~AT99999999999.eml", "~AT-7.eml"}) {
    WriteFile(dir / other, "");
  }
  EXPECT_EQ(UniqueTempName("eml", dir.path()), dir / "~AT7.eml");
  EXPECT_EQ(UniqueTempName("eml", dir.path()), dir / "~AT13.eml") << "a directory is passed over";
  EXPECT_EQ(UniqueTempName("eml", dir.path()), dir / "~AT14.eml");
  fs::remove(dir / "~AT5.eml");
  EXPECT_EQ(UniqueTempName("eml", dir.path()), dir / "~AT5.eml");
  fs::remove(dir / "~AT0.eml");
  EXPECT_EQ(UniqueTempName("eml", dir.path()), dir / "~AT0.eml");
}

// Taking one name after another (a mailbox) or moving a file to the first
// free name starts the next search just past the name taken; nothing is replaced.
TEST(UniqueNameFrom, TakesOrMovesToTheFirstFreeNameAndRemembersTheTakenOnes) {
  TempDirectory from, to;
  for (const int n : {0, 1, 2, 3, 4, 6}) {
    WriteFile(to / ("~AT" + std::to_string(n) + ".mes"), "old");
  }
  const struct {
    bool move;
    uint32_t known;
    const char* expected;
    uint32_t knownAfter;
  } steps[] = {{true, 0, "~AT5.mes", 6}, {false, 6, "~AT7.mes", 8}, {true, 1, "~AT8.mes", 9},
               {true, 2, "~AT9.mes", 10}, {false, 0, "~AT10.mes", 11}};
  for (const auto& step : steps) {
    WriteFile(from / "mail.mes", step.expected);
    uint32_t known = step.known;
    EXPECT_EQ(step.move ? UniqueNameMovedFrom(from / "mail.mes", known, "mes", to.path())
                        : UniqueNameFrom(known, "mes", to.path()),
              to / step.expected);
    EXPECT_EQ(known, step.knownAfter) << step.expected;
    EXPECT_EQ(ReadFile(to / step.expected), step.move ? step.expected : "");
    EXPECT_EQ(platform::IsExistingFile(from / "mail.mes"), !step.move);
  }
  EXPECT_EQ(ReadFile(to / "~AT6.mes"), "old") << "an existing file is never replaced";
  fs::remove(to / "~AT1.mes");
  uint32_t known = 11, fresh = 0, none = 0;
  EXPECT_EQ(UniqueNameMovedFrom(from / "mail.mes", known, "mes", to.path()), to / "~AT11.mes")
      << "a name freed below what is known is passed over";
  EXPECT_EQ(UniqueNameMovedFrom(from / "gone.mes", fresh, "mes", to.path()), "");
  EXPECT_EQ(UniqueNameMovedFrom(to / "~AT11.mes", fresh, "mes", to / "missing/"), "");
  EXPECT_TRUE(platform::IsExistingFile(to / "~AT11.mes")) << "a failed move leaves the file";
  EXPECT_EQ(UniqueNameFrom(none, "mes", to / "missing/"), "");
  EXPECT_EQ(none, 0u);
  EXPECT_FALSE(CreateUniqueFile(none, "mes", to / "missing/"));
  // The same name taken with the file kept open, shared with no one.
  std::optional<platform::File> file = CreateUniqueFile(known, "mes", to.path());
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Path(), to / "~AT12.mes");
  EXPECT_EQ(known, 13u);
  EXPECT_FALSE(platform::File::TryOpen(file->Path(), platform::FileAccess::Read,
                                       platform::FileShare::DenyNone,
                                       platform::FileDisposition::OpenExisting));
  file->Write("new", 3);
  file->Close();
  EXPECT_EQ(ReadFile(to / "~AT12.mes"), "new");
}

TEST(UniqueTempName, ThreadsTakingNamesAtOnceNeverShareOne) {
  TempDirectory dir;
  constexpr int kThreads = 8, kNamesEach = 25;
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

using Directories = std::set<std::string>;
Directories RunDirectories(const std::string& temporary) {
  Directories found;
  for (const auto& entry : fs::directory_iterator(temporary)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("quorvel-run-")) found.insert(name);
  }
  return found;
}

// A host in another process holding the working copies of an item it read.
platform::ChildProcess StartReader(const TempDirectory& base, const char* user) {
  std::optional<platform::ChildProcess> child =
      platform::ChildProcess::Start(QUORVEL_MAILBOX_HOLDER, {base.path(), user, "read"});
  if (!child) throw std::runtime_error("cannot start the holder");
  EXPECT_EQ(child->ReadLine(), "open");
  return std::move(*child);
}

// Each process has its own working directory; a killed one leaves it (with
// its working copies) to the next process that makes one; an ending one removes its own.
TEST(WorkingDirectory, AnEndedProcesssIsRemovedByTheNextNeverALiveOnes) {
  TemporaryDirectoryOverride temporary;
  TempDirectory base;
  platform::ChildProcess killed = StartReader(base, "anna");
  const Directories ofKilled = RunDirectories(temporary.path());
  platform::ChildProcess live = StartReader(base, "bert");
  Directories ofLive = RunDirectories(temporary.path());
  for (const std::string& name : ofKilled) ofLive.erase(name);
  ASSERT_EQ(ofKilled.size(), 1u);
  ASSERT_EQ(ofLive.size(), 1u);
  EXPECT_EQ(temporary.Files().size(), 4u) << "each holds an item's two working copies";
  killed.Kill();
  killed.Wait();
  EXPECT_EQ(RunDirectories(temporary.path()).size(), 2u) << "a killed process cleans nothing";
  const std::string mine = WorkingDirectory();
  ASSERT_FALSE(mine.empty());
  Directories expected = ofLive;
  expected.insert(fs::path(mine).parent_path().filename().string());
  EXPECT_EQ(RunDirectories(temporary.path()), expected);
  EXPECT_EQ(temporary.Files().size(), 2u) << "the live process's copies stay";
  EXPECT_EQ(WorkingDirectory(), mine) << "made once";
  live.CloseInput();
  EXPECT_EQ(live.Wait(), 0);
  expected.erase(*ofLive.begin());
  EXPECT_EQ(RunDirectories(temporary.path()), expected) << "an ending process removes its own";
  EXPECT_EQ(temporary.Files(), Names{});
}

}  // namespace
}  // namespace quorvel
