// Files, paths and the file system: sharing modes, dispositions and failures of platform::File,
// mapped files, copy, delete, read-only, stamps, private directories, the path rules (wildcards,
// separators, Windows drives, shares and limits: tests/data/paths) and a full disk.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
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

std::optional<File> TryOpen(const std::string& path, FileAccess access, FileShare share,
                            FileError::Cause* why = nullptr) {
  return File::TryOpen(path, access, share, FileDisposition::OpenExisting, why);
}

// A holder of the file, then a second opener; a refused one learns why. A deny-write holder
// keeps out a writer that denies nothing only on Windows (flock has no deny-write mode).
TEST(FileSharing, TheHoldersModeDecidesWhoElseOpens) {
  using enum FileAccess;
  using enum FileShare;
  const struct {
    FileAccess holderAccess;
    FileShare holderShare;
    FileAccess access;
    FileShare share;
    bool opens;
  } cases[] = {
      {ReadWrite, Exclusive, Read, DenyNone, false},
      {ReadWrite, Exclusive, Read, DenyWrite, false},
      {ReadWrite, Exclusive, Write, Exclusive, false},
      {Read, DenyWrite, Read, DenyWrite, true},
      {Read, DenyWrite, Read, DenyNone, true},
      {Read, DenyWrite, ReadWrite, Exclusive, false},
      {Read, DenyWrite, Write, DenyNone, !kOnWindows},
  };
  TempDirectory dir;
  WriteFile(dir / "f", "data");
  for (const auto& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases));
    auto holder = TryOpen(dir / "f", c.holderAccess, c.holderShare);
    ASSERT_TRUE(holder) << "the holder before it was released";
    FileError::Cause why = FileError::Cause::Generic;
    EXPECT_EQ(TryOpen(dir / "f", c.access, c.share, &why).has_value(), c.opens);
    EXPECT_EQ(why, c.opens ? FileError::Cause::Generic : FileError::Cause::SharingViolation);
  }
}

TEST(FileSharing, CreateAlwaysOnAFileHeldExclusivelyLeavesItsBytes) {
  TempDirectory dir;
  WriteFile(dir / "f", "keep me");
  File holder = File::Open(dir / "f", FileAccess::Read, FileShare::Exclusive,
                           FileDisposition::OpenExisting);
  EXPECT_THROW(File::Open(dir / "f", FileAccess::Write, FileShare::Exclusive,
                          FileDisposition::CreateAlways),
               FileError);
  std::string kept(16, '\0');  // read through the holder: nobody else may
  kept.resize(holder.Read(kept.data(), kept.size()));
  EXPECT_EQ(kept, "keep me");
}

TEST(FileOpening, DispositionsAndFailures) {
  TempDirectory dir;
  FileError::Cause why = FileError::Cause::Generic;
  EXPECT_FALSE(TryOpen(dir / "missing", FileAccess::Read, FileShare::DenyNone, &why));
  EXPECT_EQ(why, FileError::Cause::FileNotFound);
  EXPECT_FALSE(TryOpen(dir.path(), FileAccess::Read, FileShare::DenyNone)) << "a directory";
  EXPECT_FALSE(TryOpen("", FileAccess::Read, FileShare::DenyNone));

  File::Open(dir / "new", FileAccess::Write, FileShare::Exclusive, FileDisposition::CreateNew)
      .Write("abc", 3);
  EXPECT_FALSE(File::TryOpen(dir / "new", FileAccess::Write, FileShare::Exclusive,
                             FileDisposition::CreateNew));
  File::Open(dir / "new", FileAccess::Write, FileShare::Exclusive, FileDisposition::CreateAlways);
  EXPECT_EQ(ReadFile(dir / "new"), "");

  try {
    File::Open(dir / "nothing/here", FileAccess::Read, FileShare::DenyNone,
               FileDisposition::OpenExisting);
    FAIL() << "opened a file in a missing directory";
  } catch (const FileError& error) {
    EXPECT_EQ(error.path(), dir / "nothing/here");
    EXPECT_NE(std::string(error.what()).find(dir / "nothing/here"), std::string::npos);
  }
}

TEST(MappedFiles, ShowTheBytesAndKeepExclusiveWritersOut) {
  TempDirectory dir;
  const std::string bytes("line\r\n\0\xFF end", 12);
  WriteFile(dir / "f", bytes);
  WriteFile(dir / "empty", "");
  {
    const auto mapped = MappedFile::Open(dir / "f");
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->Bytes(), bytes);
    EXPECT_FALSE(TryOpen(dir / "f", FileAccess::ReadWrite, FileShare::Exclusive));
  }
  EXPECT_TRUE(TryOpen(dir / "f", FileAccess::ReadWrite, FileShare::Exclusive)) << "released";
  const auto empty = MappedFile::Open(dir / "empty");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->Bytes().empty());
  EXPECT_FALSE(MappedFile::Open(dir / "missing"));
  EXPECT_FALSE(MappedFile::Open(dir.path())) << "a directory";
}

TEST(Copying, DuplicateKeepsBytesAndHonoursFailIfExists) {
  TempDirectory dir;
  std::string big(1 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  WriteFile(dir / "a", big);
  WriteFile(dir / "b", "old");
  EXPECT_FALSE(DuplicateFile(dir / "a", dir / "b", true));
  EXPECT_EQ(ReadFile(dir / "b"), "old");
  EXPECT_TRUE(DuplicateFile(dir / "a", dir / "b", false));
  EXPECT_EQ(ReadFile(dir / "b"), big);
  EXPECT_FALSE(DuplicateFile(dir / "missing", dir / "c", false));
  EXPECT_FALSE(DuplicateFile(dir.path(), dir / "c", false)) << "a directory is no file";
}

TEST(Deleting, AReadOnlyFileStaysUntilTheAttributeIsCleared) {
  TempDirectory dir;
  WriteFile(dir / "f", "x");
  ASSERT_TRUE(SetReadOnly(dir / "f", true));
  EXPECT_TRUE(IsReadOnly(dir / "f"));
  EXPECT_FALSE(RemoveFile(dir / "f"));
  EXPECT_TRUE(IsExistingFile(dir / "f"));
  ASSERT_TRUE(SetReadOnly(dir / "f", false));
  EXPECT_TRUE(RemoveFile(dir / "f"));
  EXPECT_FALSE(IsExistingFile(dir / "f"));
  EXPECT_FALSE(RemoveFile(dir / "f"));
  EXPECT_FALSE(RemoveFile(dir.path())) << "a directory";
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

// A function of the path rules called as a line of tests/data/paths/cases.txt says.
std::vector<std::string> Answer(const std::string& function, const std::vector<std::string>& a) {
  const auto yes = [](bool answer) { return std::string(answer ? "yes" : "no"); };
  if (function == "match") return {yes(WildcardMatch(a[0], a[1]))};
  if (function == "split") return {DirectoryOf(a[0]), FileNameOf(a[0])};
  if (function == "limits") return {yes(IsPathWithinSystemLimits(a[0]))};
  if (function == "separator") return {yes(IsPathSeparator(a[0][0]))};
  if (function != "uncreated") return {"no function " + function};
  const std::optional<size_t> prefix = UncreatedPrefixLength(a[0]);
  return {prefix ? std::to_string(*prefix) : "none"};
}

TEST(PathRules, WildcardsNamesUncreatedPrefixesAndLimits) {
  for (const std::vector<std::string>& row : CaseTable("paths/cases.txt")) {
    std::istringstream head(row[0]);
    std::string function, systems;
    head >> function >> systems;
    if (systems == (kOnWindows ? "posix" : "windows")) continue;
    std::vector<std::string> values;
    for (size_t i = 1; i < row.size(); ++i) values.push_back(ParseBytes(row[i]));
    const auto answers = values.end() - (function == "split" ? 2 : 1);
    EXPECT_EQ(Answer(function, {values.begin(), answers}), std::vector(answers, values.end()))
        << row[0] << " | " << row[1].substr(0, 40);
  }
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
