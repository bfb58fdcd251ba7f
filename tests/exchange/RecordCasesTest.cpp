// Record files and archive forms as data (tests/data/records, archive); every changed byte
// and every file failure while an item is written or read fails cleanly.
#include <gtest/gtest.h>

#include <sstream>

#include "FaultSweep.h"
#include "ItemTest.h"
#include "RecordListing.h"
#include "exchange/ArchiveForms.h"
#include "exchange/ExchangeFile.h"
#include "exchange/Packing.h"
#include "exchange/RecordFormat.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;
using RecordCases = ItemTest<RecordFile>;

TEST_F(RecordCases, EachFileReadsAsDescribedAndAReadableOneIsWrittenBackUnchanged) {
  for (const std::filesystem::path& name : ByteCases("records")) {
    SCOPED_TRACE(name.filename().string());
    const std::string bytes = ParseBytes(ReadCaseFile(name.string() + ".bytes"));
    std::string listing = "refused\n";
    if (OpenBytes(bytes)) {
      listing = Listing(file, dir / "out");
      EXPECT_TRUE(file.Close());
    }
    EXPECT_EQ(listing, ReadCaseFile(name.string() + ".expected"));
    const auto has = [&](const char* word) { return listing.find(word) != std::string::npos; };
    if (!has("fails") && !has("not") && !has("refused")) {  // "not entered", "extracts nothing"
      ASSERT_TRUE(file.Open(path, false, false));
      ASSERT_TRUE(file.Close());
      EXPECT_EQ(Hex(ReadFile(path)), Hex(bytes)) << "written back";
    }
  }
}

// The case with every value type and a nested block.
std::string EveryValue(const std::string& suffix) {
  return ReadCaseFile(std::string(QUORVEL_TEST_DATA) + "/records/every-value" + suffix);
}

TEST_F(RecordCases, EveryChangedByteOfAnUnpackedFileFailsCleanly) {
  const std::string good = ParseBytes(EveryValue(".bytes"));
  const std::set<size_t> unchecked = {4, 5, 6, 7, 8, 9, 14, 15, 16, 17};  // version, sizes
  for (size_t at = 0; at < good.size(); ++at) {
    std::string changed = good;
    changed[at] = static_cast<char>(~changed[at]);
    const bool opened = OpenBytes(changed);
    EXPECT_EQ(opened, unchecked.count(at) == 1) << "byte " << at;
    if (opened) {
      EXPECT_EQ(Listing(file, dir / "out"), EveryValue(".expected")) << "byte " << at;
      file.Close();
    }
    // The same damage behind a right CRC reaches the directory and value readers.
    if (OpenBytes(Resealed(changed))) {
      Listing(file, dir / "out");
      file.Close();
    }
  }
}

TEST_F(RecordCases, EveryChangedByteOfAPackedFileFailsCleanly) {
  WriteFile(dir / "unpacked", ParseBytes(EveryValue(".bytes")));
  ASSERT_TRUE(PackFile(dir / "unpacked", path, kPackingBuffer));
  const std::string good = ReadFile(path);
  ExchangeFile packedFile;
  for (size_t at = 0; at < good.size(); ++at) {
    std::string changed = good;
    changed[at] = static_cast<char>(~changed[at]);
    WriteFile(path, changed);
    if (packedFile.Open(path, true, false)) {
      Listing(packedFile, dir / "out");
      EXPECT_TRUE(packedFile.Close());
    } else {
      EXPECT_EQ(ReadFile(path), changed) << "a failed open leaves the file as it was";
    }
    ASSERT_EQ(temporary.Files(), Names{}) << "byte " << at;
  }
}

// Nothing half-done is taken for an item, a reader never damages one, no working copy stays.
class ItemFileFaults : public ItemTest<ExchangeFile> {
 protected:
  // An item of `fillers` root entries and `blocks` sub-blocks of one entry each.
  static void WriteItem(const std::string& itemPath, int fillers, int blocks) {
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
};

TEST_F(ItemFileFaults, WritingAnItemFailsCleanlyAtEveryFileOperation) {
  WriteFile(dir / "attachment", "attached bytes");
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
    const std::string item = dir / ("item" + std::to_string(fillers) + ".qv6");
    WriteItem(item, fillers, blocks);
    const std::string before = ReadFile(item);
    const std::set<uint32_t> sites = SweepFileFaults(
        [&](const std::string&) { ReadItem(item, blocks); },
        [&](const std::string& failing) {
          EXPECT_EQ(temporary.Files(), Names{}) << failing << ": no working copy is left";
        });
    EXPECT_EQ(ReadFile(item), before) << "a reader never changes the item";
    EXPECT_TRUE(ReadItem(item, blocks));
    reached.insert(sites.begin(), sites.end());
  }
  // Header read, directory seek, block count, entry count, entry.
  EXPECT_EQ(reached, (std::set<uint32_t>{423, 425, 429, 430, 431}));
}

// An archive form: NAME.expected its type and what loading gives or "damage"; what loads
// stores back to its bytes (or to NAME.saved.bytes).
using quorvel::testing::Shown;
std::string Shown(const ArchivedU32& value) { return std::to_string(value.value); }

template <typename T>
std::string Shown(const GrowableArray<T>& array) {
  std::ostringstream out;
  out << "grow-by " << array.GrowBy() << ":";
  for (uint32_t i = 0; i < array.Size(); ++i) {
    if constexpr (std::is_same_v<T, TagEntry>) {
      out << " " << array[i].tag << " " << array[i].type << " " << array[i].value;
    } else {
      out << " " << uint32_t{array[i]};
    }
  }
  return out.str();
}

// Loads `bytes` as a value of `type`, shows it and stores it again.
std::string LoadAndStore(const std::string& type, const std::string& bytes, std::string& stored) {
  ArchiveReader in(bytes);
  ArchiveWriter out;
  std::string shown;
  const auto form = [&](auto value) {
    Load(in, value);
    shown = Shown(value);
    Store(out, value);
  };
  if (type == "wide") form(WideString());
  if (type == "coded") form(CodedText());
  if (type == "u32") form(ArchivedU32());
  if (type == "u32-array") form(U32Array(9));
  if (type == "u8-array") form(U8Array());
  if (type == "entries") form(TagEntryArray());
  if (type == "coded-array") {
    CodedTextArray list;
    list.Add(CodedText(437, WideString(u"old")));
    Load(in, list);
    for (uint32_t i = 0; i < list.Size(); ++i) shown += (i == 0 ? "" : ", ") + Shown(list[i]);
    Store(out, list);
  }
  if (type == "string") {
    const std::string text = in.ReadString();
    shown = std::to_string(text.size());
    EXPECT_EQ(text.find_first_not_of('x'), std::string::npos);
    out.WriteString(text);
  }
  if (type == "count") {
    const uint32_t count = in.ReadCount();
    shown = std::to_string(count);
    out.WriteCount(count);
  }
  if (type == "string-list") {
    const std::vector<std::string> list = in.ReadStringList();
    for (const std::string& text : list) shown += (shown.empty() ? "\"" : " \"") + text + "\"";
    out.WriteStringList(list);
  }
  EXPECT_EQ(in.Remaining(), 0u) << "everything stored is read back";
  stored = out.Bytes();
  return shown;
}

TEST(ArchiveCases, EachFormLoadsAsDescribedAndStoresBackToItsBytes) {
  for (const std::filesystem::path& name : ByteCases("archive")) {
    SCOPED_TRACE(name.filename().string());
    const std::string bytes = ParseBytes(ReadCaseFile(name.string() + ".bytes"));
    const std::string expected = ReadCaseFile(name.string() + ".expected");
    const std::string type = expected.substr(0, expected.find(' '));
    std::string got, stored;
    try {
      got = LoadAndStore(type, bytes, stored);
      const std::filesystem::path saved = name.string() + ".saved.bytes";
      EXPECT_EQ(Hex(stored),
                Hex(std::filesystem::exists(saved) ? ParseBytes(ReadCaseFile(saved)) : bytes));
    } catch (const ArchiveError&) {
      got = "damage";
    }
    EXPECT_EQ(type + " " + got + "\n", expected);
  }
}

}  // namespace
}  // namespace quorvel::exchange
