// Exchange files: a packed record file worked on through a private unpacked
// copy in the temporary directory.
#include "exchange/ExchangeFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "ItemTest.h"
#include "exchange/Packing.h"
#include "frame/UniqueNames.h"
#include "platform/FileSystem.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;
using ExchangeFileTest = ItemTest<ExchangeFile>;

TEST_F(ExchangeFileTest, ANewFileReservesItsNameAndIsPackedAtClose) {
  ASSERT_TRUE(Create());
  EXPECT_TRUE(file.IsPacked());
  EXPECT_EQ(file.GetPath(), path);
  EXPECT_EQ(file.WorkingPath(), WorkingDirectory() + "~AT0.qvz");
  EXPECT_EQ(ReadFile(path), "") << "an empty placeholder";
  file.SetKind(20);
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(temporary.Files(), Names{}) << "the working copy is deleted";

  const std::string packed = ReadFile(path);
  ASSERT_TRUE(IsPackedFile(path));
  EXPECT_EQ(packed.substr(packed.size() - 4), U32(static_cast<uint32_t>(packed.size() - 4)));
  ASSERT_TRUE(UnpackFile(path, dir / "unpacked", 0));
  EXPECT_EQ(Hex(ReadFile(dir / "unpacked")), Hex(RecordFileBytes("", Directory({{Entry(10000, 5, 20)}}))));
}

TEST_F(ExchangeFileTest, ReadingAPackedItemNeverChangesIt) {
  ASSERT_TRUE(Create());
  file.SetKind(21);
  file.PutWide(1, WideString(u"text"));
  ASSERT_TRUE(file.Close());
  const std::string packed = ReadFile(path);

  ASSERT_TRUE(file.Open(path, true, false));
  EXPECT_EQ(temporary.Files(), Names{"~AT0.qvz"});
  WideString text;
  EXPECT_TRUE(file.GetWide(1, text));
  EXPECT_EQ(text.View(), u"text");
  ExchangeFile second;
  ASSERT_TRUE(second.Open(path, false, false)) << "each opener has its own copy";
  EXPECT_EQ(second.WorkingPath(), WorkingDirectory() + "~AT1.qvz");
  EXPECT_TRUE(second.PutU32(2, 2));
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(ReadFile(path), packed) << "a read-only close packs nothing";
  EXPECT_TRUE(second.Close());
  EXPECT_EQ(temporary.Files(), Names{});

  ASSERT_TRUE(file.Open(path, true, false));
  uint32_t value = 0;
  EXPECT_TRUE(file.GetU32(2, value)) << "the writable close packed its change";
  EXPECT_TRUE(file.Close());
}

TEST_F(ExchangeFileTest, AnUnpackedFileOpensInPlaceAndStaysUnpacked) {
  WriteFile(dir / "plain.qv6", RecordFileBytes("", Directory({{Entry(10000, 5, 23)}})));
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

TEST_F(ExchangeFileTest, AMissingFileWithoutCreateFailsAndMakesNothing) {
  EXPECT_FALSE(file.Open(dir / "missing.qv6", true, false));
  EXPECT_FALSE(platform::IsExistingFile(dir / "missing.qv6"));
  EXPECT_EQ(temporary.Files(), Names{});
  EXPECT_FALSE(file.Close());
}

TEST_F(ExchangeFileTest, AFailedPackFailsCloseAndKeepsTheWorkingCopy) {
  ASSERT_TRUE(Create());
  file.SetKind(20);
  platform::RemoveFile(path);
  std::filesystem::create_directory(path);  // nothing can be packed into it
  EXPECT_FALSE(file.Close());
  EXPECT_EQ(temporary.Files(), Names{"~AT0.qvz"}) << "the work is not lost";
}

TEST_F(ExchangeFileTest, AFileThatCannotBeClosedLeavesNoWorkingCopy) {
  ASSERT_TRUE(Create());
  EXPECT_FALSE(file.Close()) << "nothing was put: the root block is empty";
  EXPECT_EQ(temporary.Files(), Names{});
  EXPECT_EQ(ReadFile(path), "") << "the placeholder stays as it was";
}

TEST_F(ExchangeFileTest, OpeningAgainClosesFirst) {
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

TEST_F(ExchangeFileTest, AReservedEmptyNameBecomesANewPackedItem) {
  const std::string reserved = UniqueTempName("qv6", dir.path());
  ASSERT_TRUE(file.Open(reserved, false, true));
  EXPECT_TRUE(file.IsPacked());
  file.SetKind(20);
  ASSERT_TRUE(file.Close());
  EXPECT_TRUE(IsPackedFile(reserved));
  EXPECT_FALSE(file.Open(dir / "~AT9.qv6", true, false) && file.Close());
  WriteFile(dir / "empty.qv6", "");
  EXPECT_FALSE(file.Open(dir / "empty.qv6", true, false)) << "without create an empty file is no item";
}

}  // namespace
}  // namespace quorvel::exchange
