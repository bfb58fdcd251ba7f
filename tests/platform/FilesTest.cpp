// Files, paths and the file system: the path rules (wildcards, separators, Windows drives, shares
// and limits: tests/data/paths), steps on files (sharing modes, dispositions, mapped files, copy,
// delete, read-only: tests/data/files), failures, stamps, private directories and a full disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ByteCases.h"
#include "TempDirectory.h"
#include "platform/Faults.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/MappedFile.h"
#include "platform/Paths.h"
#include "platform/WildcardMatch.h"

namespace quorvel::platform {
namespace {

using namespace quorvel::testing;

const bool kOnWindows = kPathSeparator == '\\';

const char* const kCauses[] = {"Generic",      "FileNotFound",     "BadPath",  "TooManyOpenFiles",
                               "AccessDenied", "SharingViolation", "DiskFull", "EndOfFile"};

// The enumerator of `E` named `name`, the names listed in the enumeration's order.
template <typename E>
E Named(const std::string& name, std::initializer_list<std::string> names) {
  const auto at = std::find(names.begin(), names.end(), name);
  EXPECT_NE(at, names.end()) << name;
  return static_cast<E>(at - names.begin());
}

// A function of the path rules (tests/data/paths/cases.txt) or a step on the files of `dir`
// (tests/data/files/steps.txt), which holds files open or mapped by name.
struct Steps {
  std::string Path(const std::string& name) const { return name == "." ? dir.path() : dir / name; }

  std::vector<std::string> Answer(const std::string& step, const std::vector<std::string>& a) {
    const auto yes = [](bool answer) { return std::string(answer ? "yes" : "no"); };
    const std::string path = Path(a[0]);
    if (step == "match") return {yes(WildcardMatch(a[0], a[1]))};
    if (step == "split") return {DirectoryOf(a[0]), FileNameOf(a[0])};
    if (step == "limits") return {yes(IsPathWithinSystemLimits(a[0]))};
    if (step == "separator") return {yes(IsPathSeparator(a[0][0]))};
    if (step == "uncreated") {
      const std::optional<size_t> prefix = UncreatedPrefixLength(a[0]);
      return {prefix ? std::to_string(*prefix) : "none"};
    }
    if (step == "write") WriteFile(path, a[1]);
    if (step == "release") {
      held.erase(a[0]);
      mapped.erase(a[0]);
    }
    if (step == "write" || step == "release") return {};
    if (step == "read") return {ReadFile(path)};
    if (step == "copy") return {yes(DuplicateFile(path, Path(a[1]), a[2] == "keep"))};
    if (step == "readonly") return {yes(SetReadOnly(path, a[1] == "on"))};
    if (step == "remove") return {yes(RemoveFile(path))};
    if (step == "exists" && IsExistingDirectory(path)) return {"directory"};
    if (step == "exists" && !IsExistingFile(path)) return {"none"};
    if (step == "exists") {
      const auto length = std::filesystem::file_size(path);
      return {"file " + std::to_string(length) + (IsReadOnly(path) ? " readonly" : "")};
    }
    if (step == "map") {
      std::optional<MappedFile> mapping = MappedFile::Open(path);
      if (!mapping) return {"none"};
      return {std::string(mapped.emplace(a[0], std::move(*mapping)).first->second.Bytes())};
    }
    if (step != "open" && step != "hold") return {"no step " + step};
    std::istringstream mode(a[1]);
    std::string access, share, disposition;
    mode >> access >> share >> disposition;
    FileError::Cause why = FileError::Cause::Generic;
    std::optional<File> file =
        File::TryOpen(path, Named<FileAccess>(access, {"Read", "Write", "ReadWrite", "Append"}),
                      Named<FileShare>(share, {"Exclusive", "DenyWrite", "DenyNone"}),
                      Named<FileDisposition>(
                          disposition, {"OpenExisting", "OpenAlways", "CreateAlways", "CreateNew"}),
                      &why);
    if (!file) return {std::string("no ") + kCauses[static_cast<int>(why)]};
    if (step == "hold") held.emplace(a[0], std::move(*file));
    return {"yes"};
  }

  TempDirectory dir;
  std::map<std::string, File> held;
  std::map<std::string, MappedFile> mapped;
};

// Wildcards, names, uncreated prefixes and limits; sharing modes, dispositions, mappings,
// copies, read-only files and deletion.
TEST(PathRulesAndFileSteps, EachLineAnswersAsItSays) {
  for (const char* table : {"paths/cases.txt", "files/steps.txt"}) {
    Steps steps;
    for (const std::vector<std::string>& row : CaseTable(table)) {
      std::istringstream head(row[0]);
      std::string step, systems;
      head >> step >> systems;
      if (systems == (kOnWindows ? "posix" : "windows")) continue;
      std::vector<std::string> values;
      for (size_t i = 1; i < row.size(); ++i) values.push_back(ParseBytes(row[i]));
      const bool none = step == "write" || step == "release";
      const auto answers = values.end() - (step == "split" ? 2 : none ? 0 : 1);
      std::vector<std::string> seen = steps.Answer(step, {values.begin(), answers});
      // An answer "no" to an open leaves the cause unsaid.
      if (step == "open" && values.back() == "no") seen[0].resize(2);
      EXPECT_EQ(seen, std::vector(answers, values.end()))
          << row[0] << " | " << row[1].substr(0, 40);
    }
  }
}

TEST(FileOpening, AFailureNamesThePath) {
  TempDirectory dir;
  EXPECT_FALSE(
      File::TryOpen("", FileAccess::Read, FileShare::DenyNone, FileDisposition::OpenExisting));
  try {
    File::Open(dir / "nothing/here", FileAccess::Read, FileShare::DenyNone,
               FileDisposition::OpenExisting);
    FAIL() << "opened a file in a missing directory";
  } catch (const FileError& error) {
    EXPECT_EQ(error.path(), dir / "nothing/here");
    EXPECT_NE(std::string(error.what()).find(dir / "nothing/here"), std::string::npos);
  }
}

// A file keeps its stamp until its length or its write time changes.
TEST(Stamps, TellAFileRewrittenSince) {
  TempDirectory dir;
  const std::string file = dir / "a.mes";
  const auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1000);
  WriteFile(file, "one");
  std::filesystem::last_write_time(file, past);
  const std::optional<FileStamp> stamp = StampOf(file);
  ASSERT_TRUE(stamp.has_value());
  EXPECT_EQ(stamp->length, 3u);
  EXPECT_EQ(StampOf(file), stamp);
  WriteFile(file, "two");
  std::filesystem::last_write_time(file, past + std::chrono::seconds(1));
  EXPECT_NE(StampOf(file), stamp) << "the same length written later";
  WriteFile(file, "three");
  std::filesystem::last_write_time(file, past);
  EXPECT_NE(StampOf(file), stamp) << "another length, the same time";
  EXPECT_FALSE(StampOf(dir.path()).has_value());
  EXPECT_FALSE(StampOf(dir / "missing").has_value());
}

// A private directory is the user's own, closed to the group and to others
// (POSIX permission bits; Windows keeps its own access lists).
TEST(PrivateDirectories, AnyBitForTheGroupOrOthersOpensIt) {
  if (kOnWindows) GTEST_SKIP() << "POSIX permission bits only";
  TempDirectory dir;
  ASSERT_TRUE(MakePrivateDirectory(dir / "p"));
  EXPECT_TRUE(IsOwnPrivateDirectory(dir / "p/"));
  for (const auto bit : {std::filesystem::perms::group_read, std::filesystem::perms::others_exec}) {
    std::filesystem::permissions(dir / "p", bit, std::filesystem::perm_options::add);
    EXPECT_FALSE(IsOwnPrivateDirectory(dir / "p"));
    std::filesystem::permissions(dir / "p", bit, std::filesystem::perm_options::remove);
  }
  EXPECT_FALSE(IsOwnPrivateDirectory(dir / "missing"));
}

TEST(FileFaults, AFullDiskKeepsWhatFittedAndRefusesTheRest) {
  TempDirectory dir;
  FileFaults faults;
  faults.FillDiskAfter(6);
  File file = File::Open(dir / "full", FileAccess::ReadWrite, FileShare::DenyNone,
                         FileDisposition::OpenAlways);
  file.Write("abcd", 4);
  try {
    file.Write("efgh", 4);
    ADD_FAILURE() << "the write past the limit succeeded";
  } catch (const FileError& error) {
    EXPECT_EQ(error.cause(), FileError::Cause::DiskFull);
  }
  EXPECT_THROW(file.Write("i", 1), FileError) << "the disk stays full";
  EXPECT_EQ(ReadFile(dir / "full"), "abcdef");
  EXPECT_TRUE(faults.Fired());

  WriteFile(dir / "source", "0123456789");
  EXPECT_FALSE(DuplicateFile(dir / "source", dir / "copy", false));
  EXPECT_EQ(ReadFile(dir / "copy"), "") << "a copy on a full disk keeps what fitted";
}

}  // namespace
}  // namespace quorvel::platform
