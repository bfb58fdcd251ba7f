// Exchange files: a packed record file worked on through a private unpacked
// copy in the temporary directory.
#include "exchange/ExchangeFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "ItemTest.h"
#include "exchange/Packing.h"
#include "frame/UniqueNames.h"
#include "platform/Faults.h"
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

// Read in memory, a packed item is unpacked nowhere on disk: no write, no
// working copy, within the same unpack limit; a file that is not packed
// still opens in place.
TEST_F(ExchangeFileTest, AnItemReadInMemoryWritesNothing) {
  ASSERT_TRUE(Create());
  file.SetKind(21);
  file.PutWide(1, WideString(u"text"));
  ASSERT_TRUE(file.Close());
  const std::string packed = ReadFile(path);
  ASSERT_TRUE(UnpackFile(path, dir / "plain.qv6", 0));
  const struct {
    bool inMemory;
    bool plain;      // the unpacked file instead of the packed one
    uint64_t limit;  // of the unpacked length
    bool opens;
    bool writes;
  } cases[] = {
      {true, false, UINT64_MAX, true, false},  {false, false, UINT64_MAX, true, true},
      {true, true, UINT64_MAX, true, false},   {true, false, 22, false, false},
      {false, false, 22, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.inMemory) + std::to_string(c.plain) + std::to_string(c.limit));
    const std::string opened = c.plain ? std::string(dir / "plain.qv6") : path;
    ExchangeFile reader;
    reader.LimitUnpackedLength(c.limit);
    if (c.inMemory) reader.ReadInMemory();
    platform::FileFaults counting;
    ASSERT_EQ(reader.Open(opened, true, false), c.opens);
    EXPECT_EQ(counting.Count(platform::FileOperation::Write) != 0, c.writes);
    EXPECT_EQ(reader.UnpackedTooLong(), !c.opens);
    if (c.opens) {
      EXPECT_EQ(reader.IsPacked(), !c.plain);
      EXPECT_EQ(reader.GetPath(), opened);
      EXPECT_EQ(temporary.Files(), c.inMemory ? Names{} : Names{"~AT0.qvz"});
      EXPECT_EQ(reader.Kind(), 21);
      WideString text;
      EXPECT_TRUE(reader.GetWide(1, text));
      EXPECT_EQ(text.View(), u"text");
      EXPECT_TRUE(reader.Close());
    }
    EXPECT_EQ(temporary.Files(), Names{});
    EXPECT_EQ(ReadFile(path), packed);
  }
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

// A missing file without create, a new file with nothing put, a pack that
// fails: each fails, and only the failed pack keeps its working copy.
TEST_F(ExchangeFileTest, FailuresLeaveNoWorkingCopyButThatOfAFailedPack) {
  EXPECT_FALSE(file.Open(dir / "missing.qv6", true, false));
  EXPECT_FALSE(platform::IsExistingFile(dir / "missing.qv6"));
  EXPECT_FALSE(file.Close());
  ASSERT_TRUE(Create());
  EXPECT_FALSE(file.Close()) << "nothing was put: the root block is empty";
  EXPECT_EQ(ReadFile(path), "") << "the placeholder stays as it was";
  EXPECT_EQ(temporary.Files(), Names{});
  ASSERT_TRUE(file.Open(dir / "packed.qv6", false, true));
  file.SetKind(20);
  platform::RemoveFile(dir / "packed.qv6");
  std::filesystem::create_directory(dir / "packed.qv6");  // nothing can be packed into it
  EXPECT_FALSE(file.Close());
  EXPECT_EQ(temporary.Files(), Names{"~AT0.qvz"}) << "the work is not lost";
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
