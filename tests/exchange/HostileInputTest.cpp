// Damaged and hostile exchange files: every count and length the file gives
// is checked against the bytes it holds. One test per kind of damage, then
// every byte of a small valid file changed in turn.
#include <gtest/gtest.h>

#include <set>

#include "ItemTest.h"
#include "exchange/ExchangeFile.h"
#include "exchange/Packing.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;
using HostileInput = ItemTest<RecordFile>;

TEST_F(HostileInput, DirectoryCountsThatRunPastTheEndFailOpen) {
  const std::string entry = Entry(1, 1, 1);
  EXPECT_FALSE(OpenBytes(RecordFileBytes("", U16(0xFFFF) + U16(1) + entry))) << "block count";
  EXPECT_FALSE(OpenBytes(RecordFileBytes("", U16(1) + U16(0xFFFF) + entry))) << "entry count";
  EXPECT_FALSE(OpenBytes(RecordFileBytes("", U16(2) + U16(1) + entry))) << "a missing second block";
  EXPECT_FALSE(OpenBytes(RecordFileBytes("", U16(1) + U16(2) + entry))) << "a cut entry";
  EXPECT_FALSE(OpenBytes(RecordFileBytes("", U16(0) + entry))) << "no block";
  EXPECT_FALSE(OpenBytes(RecordFileBytes("", Bytes({1})))) << "a cut block count";
  EXPECT_TRUE(OpenBytes(RecordFileBytes("", U16(1) + U16(1) + entry))) << "the control";
}

TEST_F(HostileInput, ADirectoryOffsetOutsideTheValueAreaFailsOpen) {
  const std::string good = RecordFileBytes(U32(4), Directory({{Entry(1, 8, 22)}}));
  for (const uint32_t offset : {0u, 21u, 5000u, 0xFFFFFFFFu}) {
    std::string bytes = good;
    bytes.replace(10, 4, U32(offset));  // not covered by the CRC
    EXPECT_FALSE(OpenBytes(bytes)) << offset;
  }
}

TEST_F(HostileInput, ABlockEntryNamingAMissingBlockIsNeverEntered) {
  ASSERT_TRUE(OpenBytes(RecordFileBytes(
      "", Directory({{Entry(10000, 5, 20), Entry(10600, 12, 2), Entry(10700, 12, 0xFFFF)},
                     {Entry(1, 1, 1)}}))));
  EXPECT_FALSE(file.EnterBlock(10600));
  EXPECT_FALSE(file.CreateBlock(10600)) << "the tag exists, so it is only entered";
  EXPECT_FALSE(file.EnterBlock(10700));
  EXPECT_EQ(file.Kind(), 20) << "the root is still current";
}

TEST_F(HostileInput, RecordLengthsBeyondTheFileOrBelowTheirHeadFailTheGet) {
  // One value area with a record for each case; entries point at them.
  const std::string values = U32(1000) + Utf16(u"ab")   // 22: Wide longer than the file
                             + U32(2)                    // 30: Wide shorter than its length field
                             + U32(4) + U16(0)           // 34: Coded shorter than 6
                             + U32(6) + U16(1) + U16(5)  // 40: File shorter than 8
                             + U32(0xFFFFFFFF)           // 50: Object as long as can be
                             + U32(0);                   // 54: Object of length 0
  ASSERT_TRUE(OpenBytes(RecordFileBytes(
      values, Directory({{Entry(1, 8, 22), Entry(2, 8, 30), Entry(3, 13, 34), Entry(4, 15, 40),
                          Entry(5, 10, 50), Entry(6, 10, 54), Entry(7, 8, 5000),
                          Entry(8, 13, 3), Entry(9, 8, 0xFFFFFFFE)}}))));
  WideString wide(u"stale");
  EXPECT_FALSE(file.GetWide(1, wide));
  EXPECT_TRUE(wide.IsEmpty());
  EXPECT_FALSE(file.GetWide(2, wide));
  CodedText coded(1252, WideString(u"stale"));
  EXPECT_FALSE(file.GetCoded(3, coded));
  EXPECT_TRUE(coded.text.IsEmpty());
  CodedText name;
  uint32_t size = 9;
  EXPECT_FALSE(file.GetFileInfo(4, name, size));
  EXPECT_EQ(size, 0u);
  EXPECT_FALSE(file.ExtractFile(4, dir / "out", true));
  std::string bytes;
  EXPECT_FALSE(file.GetObjectBytes(5, bytes));
  EXPECT_FALSE(file.GetObjectBytes(6, bytes));
  EXPECT_FALSE(file.GetWide(7, wide)) << "an offset past the value area";
  EXPECT_FALSE(file.GetCoded(8, coded)) << "an offset inside the header";
  EXPECT_FALSE(file.GetWide(9, wide)) << "an offset at the end of the number range";
  EXPECT_FALSE(platform::IsExistingFile(dir / "out"));
}

TEST_F(HostileInput, AnOddLengthWideRecordFailsTheGet) {
  ASSERT_TRUE(OpenBytes(RecordFileBytes(U32(7) + Bytes({'a', 0, 'b'}) + U32(7) + Bytes({0xE4, 4, 'c'}),
                                        Directory({{Entry(1, 8, 22), Entry(2, 13, 29)}}))));
  WideString wide;
  EXPECT_FALSE(file.GetWide(1, wide));
  EXPECT_TRUE(wide.IsEmpty());
  CodedText coded;
  EXPECT_FALSE(file.GetCoded(2, coded)) << "nor does a Coded record of odd length pass";
}

TEST_F(HostileInput, AFileRecordWhoseNameExceedsItsRecordFailsEveryFileAccessor) {
  // Length 14 leaves 6 bytes after the head, but the name claims 5 code units.
  ASSERT_TRUE(OpenBytes(RecordFileBytes(U32(14) + U16(5) + U16(1252) + Utf16(u"abc"),
                                        Directory({{Entry(1, 15, 22)}}))));
  CodedText name;
  uint32_t size = 0;
  EXPECT_FALSE(file.GetFileInfo(1, name, size));
  EXPECT_FALSE(file.ExtractFile(1, dir / "out", true));
  EXPECT_FALSE(platform::IsExistingFile(dir / "out"));
}

TEST_F(HostileInput, ObjectsWhoseCountsExceedTheirRecordFailTheGet) {
  ASSERT_TRUE(OpenBytes(RecordFileBytes(U32(14) + U32(0x7FFFFFFF) + U16(1252) + U32(0),
                                        Directory({{Entry(1, 10, 22)}}))));
  CodedTextArray names;
  names.Add(CodedText(1252, WideString(u"kept until the load starts")));
  EXPECT_FALSE(file.GetObject(1, names));
}

TEST_F(HostileInput, TruncatedOrCorruptPackedFilesFailOpenAndLeaveNoWorkingCopy) {
  ExchangeFile packedFile;
  ASSERT_TRUE(packedFile.Open(path, false, true));
  packedFile.SetKind(20);
  packedFile.PutWide(1, WideString(std::u16string(5000, u'x')));
  ASSERT_TRUE(packedFile.Close());
  const std::string packed = ReadFile(path);

  WriteFile(path, packed.substr(0, packed.size() / 2));
  EXPECT_FALSE(packedFile.Open(path, true, false)) << "truncated";
  std::string corrupt = packed;
  corrupt[packed.size() / 2] ^= 0x10;
  WriteFile(path, corrupt);
  EXPECT_FALSE(packedFile.Open(path, false, false)) << "corrupt";
  EXPECT_EQ(ReadFile(path), corrupt) << "a failed open leaves the file as it was";
  EXPECT_EQ(temporary.Files(), Names{});
}

TEST_F(HostileInput, APackedBombFailsOpenBeforeFillingTheTemporaryDirectory) {
  WriteFile(dir / "zeros", std::string(16 << 20, '\0'));
  ASSERT_TRUE(PackFile(dir / "zeros", path, kPackingBuffer));
  ASSERT_LT(ReadFile(path).size(), 4096u);
  ExchangeFile packedFile;
  platform::FileFaults written;  // counts the writes
  EXPECT_FALSE(packedFile.Open(path, true, false));
  EXPECT_EQ(written.Count(platform::FileOperation::Write), 0u) << "nothing was unpacked to disk";
  EXPECT_EQ(temporary.Files(), Names{});
}

// Reads everything a file offers, as a reader that trusts nothing would, and
// answers how many values could be read. Blocks are entered once each.
size_t ReadEverything(RecordFile& file, const std::string& extractTarget,
                      std::set<uint32_t>& entered) {
  size_t readable = 0;
  const TagEntryArray* entries = file.CurrentEntries();
  const uint32_t count = entries->Size();
  for (uint32_t i = 0; i < count; ++i) {
    const TagEntry entry = (*file.CurrentEntries())[i];
    uint32_t u32 = 0;
    uint8_t byte = 0;
    WideString wide;
    CodedText coded;
    std::string object;
    uint32_t size = 0;
    readable += file.GetU32(entry.tag, u32) + file.GetByte(entry.tag, byte) +
                file.GetTime(entry.tag, u32) + file.GetWide(entry.tag, wide) +
                file.GetCoded(entry.tag, coded) + file.GetObjectBytes(entry.tag, object) +
                file.GetFileInfo(entry.tag, coded, size) +
                file.ExtractFile(entry.tag, extractTarget, true);
    if (entry.type == kTypeBlock && entered.insert(entry.value).second && file.EnterBlock(entry.tag)) {
      readable += ReadEverything(file, extractTarget, entered);
      file.LeaveBlock();
    }
  }
  return readable;
}

// A small item with every value type and a nested block.
std::string SmallValidItem(const TempDirectory& dir) {
  WriteFile(dir / "attachment", "attached bytes");
  RecordFile file;
  EXPECT_TRUE(file.Open(dir / "small", false, true));
  file.SetKind(20);
  file.PutTime(2, 1700000000);
  file.CreateBlock(10200);
  file.PutU32(10201, 7);
  file.PutCoded(10202, CodedText(1252, WideString(u"Tutor")));
  file.PutCoded(10204, CodedText(1252, WideString()));
  file.PutObject(10210, ArchivedU32(3));
  file.PutWide(10211, WideString(u"Hello"));
  file.LeaveBlock();
  file.CreateBlock(10600);
  file.PutFile(10601, dir / "attachment", CodedText(1252, WideString(u"a.txt")));
  EXPECT_TRUE(file.Close());
  return ReadFile(dir / "small");
}

TEST_F(HostileInput, EveryChangedByteOfAnUnpackedFileFailsCleanly) {
  const std::string good = SmallValidItem(dir);
  ASSERT_TRUE(OpenBytes(good));
  std::set<uint32_t> entered;
  const size_t allValues = ReadEverything(file, dir / "out", entered);
  file.Close();
  ASSERT_EQ(allValues, 9u) << "kind, time, five message fields, the file's head and bytes";

  const std::set<size_t> unchecked = {4, 5, 6, 7, 8, 9, 14, 15, 16, 17};  // version, sizes
  for (size_t at = 0; at < good.size(); ++at) {
    std::string changed = good;
    changed[at] = static_cast<char>(~changed[at]);
    const bool opened = OpenBytes(changed);
    EXPECT_EQ(opened, unchecked.count(at) == 1) << "byte " << at;
    if (opened) {
      entered.clear();
      EXPECT_EQ(ReadEverything(file, dir / "out", entered), allValues) << "byte " << at;
      file.Close();
    }
    // The same damage behind a right CRC reaches the directory and value readers.
    if (OpenBytes(Resealed(changed))) {
      entered.clear();
      ReadEverything(file, dir / "out", entered);
      file.Close();
    }
  }
}

TEST_F(HostileInput, EveryChangedByteOfAPackedFileFailsCleanly) {
  const std::string unpacked = SmallValidItem(dir);
  ASSERT_TRUE(PackFile(dir / "small", path, kPackingBuffer));
  const std::string good = ReadFile(path);
  ExchangeFile packedFile;
  for (size_t at = 0; at < good.size(); ++at) {
    std::string changed = good;
    changed[at] = static_cast<char>(~changed[at]);
    WriteFile(path, changed);
    if (packedFile.Open(path, true, false)) {
      std::set<uint32_t> entered;
      ReadEverything(packedFile, dir / "out", entered);
      EXPECT_TRUE(packedFile.Close());
    }
    ASSERT_EQ(temporary.Files(), Names{}) << "byte " << at;
  }
}

}  // namespace
}  // namespace quorvel::exchange
