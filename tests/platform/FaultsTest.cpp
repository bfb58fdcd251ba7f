// An injected full disk keeps what fitted and refuses the rest. Failing the
// n-th call of a kind is shown by every fault sweep, which names the sites
// each injected failure reached.
#include "platform/Faults.h"

#include <gtest/gtest.h>

#include "TempDirectory.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace quorvel::platform {
namespace {

using namespace quorvel::testing;

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
