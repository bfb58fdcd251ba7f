// Exchange files: a packed record file worked on through a private unpacked
// copy in the temporary directory.
#include "exchange/ExchangeFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "RecordBytes.h"
#include "TempDirectory.h"
#include "TemporaryDirectoryOverride.h"
#include "exchange/Packing.h"
#include "platform/FileSystem.h"

namespace quorvel::exchange {
namespace {

using quorvel::testing::ReadFile;
using quorvel::testing::TempDirectory;
using quorvel::testing::WriteFile;
using testing::Directory;
using testing::Entry;
using testing::Hex;
using testing::RecordFileBytes;
using testing::TemporaryDirectoryOverride;
using testing::U32;

using Names = std::vector<std::string>;

TEST(ExchangeFile, ANewFileReservesItsNameAndIsPackedAtClose) {
  TemporaryDirectoryOverride temporary;
  TempDirectory dir;
  ExchangeFile file;
  ASSERT_TRUE(file.Open(dir / "item.qv6", false, true));
  EXPECT_TRUE(file.IsPacked());
  EXPECT_EQ(file.GetPath(), dir / "item.qv6");
  EXPECT_EQ(file.WorkingPath(), temporary.path() + "~AT0.qvz");
  EXPECT_EQ(ReadFile(dir / "item.qv6"), "") << "an empty placeholder";
  file.SetKind(20);
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(temporary.Files(), Names{}) << "the working copy is deleted";

  const std::string packed = ReadFile(dir / "item.qv6");
  ASSERT_TRUE(IsPackedFile(dir / "item.qv6"));
  EXPECT_EQ(packed.substr(packed.size() - 4), U32(static_cast<uint32_t>(packed.size() - 4)));
  ASSERT_TRUE(UnpackFile(dir / "item.qv6", dir / "unpacked", 0));
  EXPECT_EQ(Hex(ReadFile(dir / "unpacked")), Hex(RecordFileBytes("", Directory({{Entry(10000, 5, 20)}}))));
}

TEST(ExchangeFile, ReadingAPackedItemNeverChangesIt) {
  TemporaryDirectoryOverride temporary;
  TempDirectory dir;
  ExchangeFile file;
  ASSERT_TRUE(file.Open(dir / "item.qv6", false, true));
  file.SetKind(21);
  file.PutWide(1, WideString(u"text"));
  ASSERT_TRUE(file.Close());
  const std::string packed = ReadFile(dir / "item.qv6");

  ASSERT_TRUE(file.Open(dir / "item.qv6", true, false));
  EXPECT_EQ(temporary.Files(), Names{"~AT0.qvz"});
  WideString text;
  EXPECT_TRUE(file.GetWide(1, text));
  EXPECT_EQ(text.View(), u"text");
  ExchangeFile second;
  ASSERT_TRUE(second.Open(dir / "item.qv6", false, false)) << "each opener has its own copy";
  EXPECT_EQ(second.WorkingPath(), temporary.path() + "~AT1.qvz");
  EXPECT_TRUE(second.PutU32(2, 2));
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(ReadFile(dir / "item.qv6"), packed) << "a read-only close packs nothing";
  EXPECT_TRUE(second.Close());
  EXPECT_EQ(temporary.Files(), Names{});

  ASSERT_TRUE(file.Open(dir / "item.qv6", true, false));
  uint32_t value = 0;
  EXPECT_TRUE(file.GetU32(2, value)) << "the writable close packed its change";
  EXPECT_TRUE(file.Close());
}

TEST(ExchangeFile, AnUnpackedFileOpensInPlaceAndStaysUnpacked) {
  TemporaryDirectoryOverride temporary;
  TempDirectory dir;
  WriteFile(dir / "plain.qv6", RecordFileBytes("", Directory({{Entry(10000, 5, 23)}})));
  ExchangeFile file;
  ASSERT_TRUE(file.Open(dir / "plain.qv6", false, false));
  EXPECT_FALSE(file.IsPacked());
  EXPECT_EQ(file.GetPath(), dir / "plain.qv6");
  EXPECT_EQ(file.WorkingPath(), dir / "plain.qv6");
  EXPECT_EQ(temporary.Files(), Names{});
  file.PutU32(1, 7);
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(Hex(ReadFile(dir / "plain.qv6")),
            Hex(RecordFileBytes("", Directory({{Entry(10000, 5, 23), Entry(1, 1, 7)}}))));
}

TEST(ExchangeFile, AMissingFileWithoutCreateFailsAndMakesNothing) {
  TemporaryDirectoryOverride temporary;
  TempDirectory dir;
  ExchangeFile file;
  EXPECT_FALSE(file.Open(dir / "missing.qv6", true, false));
  EXPECT_FALSE(platform::IsExistingFile(dir / "missing.qv6"));
  EXPECT_EQ(temporary.Files(), Names{});
  EXPECT_FALSE(file.Close());
}

TEST(ExchangeFile, AFailedPackFailsCloseAndKeepsTheWorkingCopy) {
  TemporaryDirectoryOverride temporary;
  TempDirectory dir;
  ExchangeFile file;
  ASSERT_TRUE(file.Open(dir / "item.qv6", false, true));
  file.SetKind(20);
  platform::RemoveFile(dir / "item.qv6");
  std::filesystem::create_directory(dir / "item.qv6");  // nothing can be packed into it
  EXPECT_FALSE(file.Close());
  EXPECT_EQ(temporary.Files(), Names{"~AT0.qvz"}) << "the work is not lost";
}

TEST(ExchangeFile, AFileThatCannotBeClosedLeavesNoWorkingCopy) {
  TemporaryDirectoryOverride temporary;
  TempDirectory dir;
  ExchangeFile file;
  ASSERT_TRUE(file.Open(dir / "item.qv6", false, true));
  EXPECT_FALSE(file.Close()) << "nothing was put: the root block is empty";
  EXPECT_EQ(temporary.Files(), Names{});
  EXPECT_EQ(ReadFile(dir / "item.qv6"), "") << "the placeholder stays as it was";
}

TEST(ExchangeFile, OpeningAgainClosesFirst) {
  TemporaryDirectoryOverride temporary;
  TempDirectory dir;
  ExchangeFile file;
  ASSERT_TRUE(file.Open(dir / "a.qv6", false, true));
  file.SetKind(20);
  ASSERT_TRUE(file.Open(dir / "b.qv6", false, true));
  file.SetKind(21);
  ASSERT_TRUE(file.Close());
  ASSERT_TRUE(file.Open(dir / "a.qv6", true, false));
  EXPECT_EQ(file.Kind(), 20) << "the first file was packed when the second was opened";
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(temporary.Files(), Names{});
}

}  // namespace
}  // namespace quorvel::exchange
