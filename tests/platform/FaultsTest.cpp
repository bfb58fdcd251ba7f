// Injected failures reach callers the way the system's own do: the chosen
// call fails once, the others around it succeed, and a full disk keeps what
// fitted.
#include "platform/Faults.h"

#include <gtest/gtest.h>

#include <functional>

#include "TempDirectory.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace quorvel::platform {
namespace {

using namespace quorvel::testing;

File OpenForWriting(const std::string& path) {
  return File::Open(path, FileAccess::ReadWrite, FileShare::DenyNone, FileDisposition::OpenAlways);
}

TEST(FileFaults, TheNthCallOfTheChosenKindFailsOnce) {
  TempDirectory dir;
  WriteFile(dir / "a", "abc");
  struct Case {
    const char* name;
    FileOperation operation;
    std::function<bool()> call;  // true when the call succeeded
  };
  File file = OpenForWriting(dir / "a");
  int renames = 0;
  const Case cases[] = {
      {"open", FileOperation::Open,
       [&] { return File::TryOpen(dir / "a", FileAccess::Read, FileShare::DenyNone,
                                  FileDisposition::OpenExisting).has_value(); }},
      {"read", FileOperation::Read,
       [&] {
         char byte;
         file.Seek(0, SeekOrigin::Begin);
         try { return file.Read(&byte, 1) == 1; } catch (const FileError&) { return false; }
       }},
      {"write", FileOperation::Write,
       [&] { try { file.Write("x", 1); return true; } catch (const FileError&) { return false; } }},
      {"sync", FileOperation::Sync,
       [&] { try { file.Sync(); return true; } catch (const FileError&) { return false; } }},
      {"rename", FileOperation::Rename,
       [&] {
         const std::string from = dir / ("r" + std::to_string(renames));
         WriteFile(from, "");
         return RenameFile(from, dir / ("moved" + std::to_string(renames++)));
       }},
  };
  for (const Case& c : cases) {
    FileFaults faults;
    faults.Fail(c.operation, 2);
    EXPECT_TRUE(c.call()) << c.name;
    EXPECT_FALSE(faults.Fired()) << c.name;
    EXPECT_FALSE(c.call()) << c.name << ": the second call fails";
    EXPECT_TRUE(faults.Fired()) << c.name;
    EXPECT_TRUE(c.call()) << c.name << ": only once";
    EXPECT_EQ(faults.Count(c.operation), 3u) << c.name;
  }
}

TEST(FileFaults, AFullDiskKeepsWhatFittedAndRefusesTheRest) {
  TempDirectory dir;
  FileFaults faults;
  faults.FillDiskAfter(6);
  File file = OpenForWriting(dir / "full");
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

TEST(FileFaults, NothingIsCountedOrFailedOnceTheFaultsEnd) {
  TempDirectory dir;
  {
    FileFaults faults;
    faults.Fail(FileOperation::Open, 1);
  }
  EXPECT_TRUE(File::TryOpen(dir / "f", FileAccess::Write, FileShare::DenyNone,
                            FileDisposition::CreateAlways).has_value());
  FileFaults fresh;
  EXPECT_EQ(fresh.Count(FileOperation::Open), 0u);
  EXPECT_FALSE(fresh.Fired());
}

}  // namespace
}  // namespace quorvel::platform
