// Directory paths, unique names taken by creating or moving files, and the
// working directories of processes sharing one temporary directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <set>
#include <sstream>
#include <vector>

#include "../exchange/ItemTest.h"
#include "KeyedCases.h"
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

// Each case of tests/data/unique-names/cases.txt in a directory of its own.
TEST(UniqueNames, TheCasesOfTheDataFile) {
  for (const KeyedCase& c : KeyedCases("unique-names/cases")) {
    SCOPED_TRACE(c.name);
    TempDirectory dir, from;
    for (const auto& [key, input] : c.lines) {
      if (key != "<") continue;
      std::istringstream line(input);
      const std::vector<std::string> w{std::istream_iterator<std::string>(line), {}};
      if (w[0] == "file") WriteFile(dir / w[1], w.size() > 2 ? w[2] : "");
      if (w[0] == "dir") fs::create_directory(dir / w[1]);
      if (w[0] == "remove") fs::remove(dir / w[1]);
      if (w[0] == "temp") {
        EXPECT_EQ(UniqueTempName(w[1], dir.path(), w.size() > 3 ? w[2] : "~AT"), dir / w.back());
      }
      if (w[0] == "take" || w[0] == "move") {
        uint32_t known = std::stoul(w[1]);
        WriteFile(from / "mail", "mail");
        EXPECT_EQ(w[0] == "take" ? UniqueNameFrom(known, "mes", dir.path())
                                 : UniqueNameMovedFrom(from / "mail", known, "mes", dir.path()),
                  dir / w[2]) << input;
        EXPECT_EQ(known, std::stoul(w[3])) << input;
        EXPECT_EQ(fs::exists(from / "mail"), w[0] == "take") << "moved, not copied";
      }
    }
    std::set<std::string> listed;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      const std::string name = entry.path().filename().string();
      listed.insert(name + (entry.is_directory() ? "/" : " " + std::to_string(entry.file_size())));
    }
    std::string listing;
    for (const std::string& entry : listed) listing += entry + "\n";
    c.Check("=", listing);
  }
}

// What no case shows: no directory, a creation that fails once, the working directory, and a
// file kept open as it is taken.
TEST(UniqueTempName, NoDirectoryAFailedCreationTheWorkingDirectoryAndAFileKeptOpen) {
  TempDirectory dir, from;
  uint32_t known = 0;
  EXPECT_EQ(UniqueTempName("qv6", dir / "missing/"), "") << "no directory, no name";
  EXPECT_EQ(UniqueNameFrom(known, "mes", dir / "missing/"), "");
  EXPECT_EQ(known, 0u);
  EXPECT_FALSE(CreateUniqueFile(known, "mes", dir / "missing/"));
  WriteFile(from / "mail.mes", "x");
  EXPECT_EQ(UniqueNameMovedFrom(from / "gone.mes", known, "mes", dir.path()), "");
  EXPECT_EQ(UniqueNameMovedFrom(from / "mail.mes", known, "mes", dir / "missing/"), "");
  EXPECT_TRUE(platform::IsExistingFile(from / "mail.mes")) << "a failed move leaves the file";
  {
    platform::FileFaults faults;
    faults.Fail(platform::FileOperation::Open, 1);
    EXPECT_EQ(UniqueTempName("qv6", dir.path(), "y"), dir / "y0.qv6")
        << "a creation that failed of a name that is not there is tried again, not passed over";
    EXPECT_TRUE(faults.Fired());
  }
  const std::string name = UniqueTempName(), base = WorkingDirectory() + "~AT";
  ASSERT_TRUE(base.starts_with(platform::TemporaryDirectory()));
  EXPECT_TRUE(name.starts_with(base) && name.ends_with(".tmp")) << name;
  EXPECT_TRUE(platform::RemoveFile(name));
  known = 3;
  std::optional<platform::File> file = CreateUniqueFile(known, "mes", dir.path());
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Path(), dir / "~AT3.mes");
  EXPECT_EQ(known, 4u);
  EXPECT_FALSE(platform::File::TryOpen(file->Path(), platform::FileAccess::Read,
                                       platform::FileShare::DenyNone,
                                       platform::FileDisposition::OpenExisting));
  file->Write("new", 3);
  file->Close();
  EXPECT_EQ(ReadFile(dir / "~AT3.mes"), "new");
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
