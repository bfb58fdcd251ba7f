// Sharing modes, dispositions and failures of platform::File, and files
// mapped into memory.
#include "platform/File.h"

#include <gtest/gtest.h>

#include <cstring>

#include "TempDirectory.h"
#include "platform/MappedFile.h"
#include "platform/Paths.h"

namespace quorvel::platform {
namespace {

using namespace quorvel::testing;

std::optional<File> TryOpen(const std::string& path, FileAccess access, FileShare share,
                            FileError::Cause* why = nullptr) {
  return File::TryOpen(path, access, share, FileDisposition::OpenExisting, why);
}

// A holder of the file, then a second opener; a refused one learns why. A
// deny-write holder keeps out a writer that denies nothing only on Windows
// (flock on POSIX has no deny-write mode).
TEST(FileSharing, TheHoldersModeDecidesWhoElseOpens) {
  using enum FileAccess;
  using enum FileShare;
  const bool onWindows = kPathSeparator == '\\';
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
      {Read, DenyWrite, Write, DenyNone, !onWindows},
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

}  // namespace
}  // namespace quorvel::platform
