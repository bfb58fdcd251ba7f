// Every file failure while an item is written or read ends in a clean
// failure at a logged site: nothing half-done is taken for an item, the item
// on disk is never damaged by a reader, and no working copy is left behind.
#include <gtest/gtest.h>

#include "FaultSweep.h"
#include "ItemTest.h"
#include "exchange/ExchangeFile.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;

class ItemFileFaults : public ::testing::Test {
 protected:
  // An item of `fillers` root entries and `blocks` sub-blocks of one entry each.
  void WriteItem(const std::string& itemPath, int fillers, int blocks) {
    ExchangeFile item;
    ASSERT_TRUE(item.Open(itemPath, false, true));
    item.SetKind(20);
    item.PutWide(1, WideString(u"text"));
    for (int b = 0; b < blocks; ++b) {
      item.CreateBlock(static_cast<uint16_t>(100 + b));
      item.PutU32(1, static_cast<uint32_t>(b));
      item.LeaveBlock();
    }
    for (int i = 0; i < fillers; ++i) item.PutU32(static_cast<uint16_t>(1000 + i), 7);
    ASSERT_TRUE(item.Close());
  }

  // Reads what WriteItem wrote; false at the first failure.
  static bool ReadItem(const std::string& itemPath, int blocks) {
    ExchangeFile item;
    WideString text;
    bool read = item.Open(itemPath, true, false) && item.GetWide(1, text) && text.View() == u"text";
    for (int b = 0; read && b < blocks; ++b) {
      uint32_t value = 0;
      read = item.EnterBlock(static_cast<uint16_t>(100 + b)) && item.GetU32(1, value) &&
             value == static_cast<uint32_t>(b);
      item.LeaveBlock();
    }
    return item.Close() && read;
  }

  TemporaryDirectoryOverride temporary;
  TempDirectory dir;
};

TEST_F(ItemFileFaults, WritingAnItemFailsCleanlyAtEveryFileOperation) {
  WriteFile(dir / "attachment", "attached bytes");
  const std::string path = dir / "item.qv6";
  bool written = false;
  const auto write = [&](const std::string&) {
    platform::RemoveFile(path);
    ExchangeFile item;
    written = item.Open(path, false, true);
    written = written && item.SetKind(20) && item.PutWide(1, WideString(u"text")) &&
              item.PutFile(2, dir / "attachment", CodedText(1252, WideString(u"a.txt")));
    written = item.Close() && written;
  };
  const std::set<uint32_t> reached = SweepFileFaults(write, [&](const std::string& failing) {
    if (written) {
      ExchangeFile reread;
      WideString text;
      EXPECT_TRUE(reread.Open(path, true, false) && reread.GetWide(1, text) &&
                  text.View() == u"text" && reread.ExtractFile(2, dir / "extracted", true))
          << failing << ": an item reported written must be whole";
      EXPECT_EQ(ReadFile(dir / "extracted"), "attached bytes") << failing;
      reread.Close();
    }
    // Only a failed pack keeps its working copy (the work is not lost).
    for (const std::string& name : temporary.Files()) {
      EXPECT_FALSE(written) << failing;
      platform::RemoveFile(temporary.path() + name);
    }
  });
  // The header of the new file, the directory at close, the header update.
  EXPECT_EQ(reached, (std::set<uint32_t>{422, 426, 427}));
}

// A change that cannot be saved leaves the item as it was; one reported saved is in it.
TEST_F(ItemFileFaults, ChangingAnItemNeverDamagesIt) {
  const std::string path = dir / "item.qv6";
  WriteItem(path, 0, 1);
  const std::string before = ReadFile(path);
  bool saved = false;
  const auto change = [&](const std::string&) {
    WriteFile(path, before);
    ExchangeFile item;
    saved = item.Open(path, false, false) && item.PutU32(5, 55);
    saved = item.Close() && saved;
  };
  SweepFileFaults(change, [&](const std::string& failing) {
    EXPECT_TRUE(ReadItem(path, 1)) << failing << ": the item is whole";
    ExchangeFile item;
    uint32_t value = 0;
    ASSERT_TRUE(item.Open(path, true, false)) << failing;
    EXPECT_EQ(item.GetU32(5, value), saved) << failing;
    item.Close();
    if (!saved) {
      EXPECT_EQ(ReadFile(path), before) << failing;
    }
    for (const std::string& name : temporary.Files()) platform::RemoveFile(temporary.path() + name);
    for (const auto& entry : platform::ListDirectory(dir.path(), "~AT*")) {
      ADD_FAILURE() << failing << ": " << entry.name << " left beside the item";
      platform::RemoveFile(dir / entry.name);
    }
  });
}

TEST_F(ItemFileFaults, ReadingAnItemFailsCleanlyAtEveryFileOperation) {
  // The directory is read in 64 KiB chunks: 8 194 root entries put an entry across the first
  // boundary; 8 189 and two one-entry blocks put the third block's count right on it.
  const std::pair<int, int> layouts[] = {{0, 1}, {8192, 0}, {8183, 4}};  // fillers, blocks
  std::set<uint32_t> reached;
  for (const auto& layout : layouts) {
    const int fillers = layout.first, blocks = layout.second;  // lambdas take no bindings
    const std::string path = dir / ("item" + std::to_string(fillers) + ".qv6");
    WriteItem(path, fillers, blocks);
    const std::string before = ReadFile(path);
    const std::set<uint32_t> sites = SweepFileFaults(
        [&](const std::string&) { ReadItem(path, blocks); },
        [&](const std::string& failing) {
          EXPECT_EQ(temporary.Files(), Names{}) << failing << ": no working copy is left";
        });
    EXPECT_EQ(ReadFile(path), before) << "a reader never changes the item";
    EXPECT_TRUE(ReadItem(path, blocks));
    reached.insert(sites.begin(), sites.end());
  }
  // Header read, directory seek, block count, entry count, entry.
  EXPECT_EQ(reached, (std::set<uint32_t>{423, 425, 429, 430, 431}));
}

}  // namespace
}  // namespace quorvel::exchange
