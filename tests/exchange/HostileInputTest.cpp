// Damaged and hostile exchange files beyond the cases of tests/data/records:
// a packed bomb, and every byte of a small valid file changed in turn.
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
    } else {
      EXPECT_EQ(ReadFile(path), changed) << "a failed open leaves the file as it was";
    }
    ASSERT_EQ(temporary.Files(), Names{}) << "byte " << at;
  }
}

}  // namespace
}  // namespace quorvel::exchange
