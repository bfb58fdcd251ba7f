// The blocks that hold files inside an item: attachments (10600), learning
// data (10700 with its sub-blocks) and the history of stored names (10800).
#include <gtest/gtest.h>

#include "ItemTest.h"
#include "exchange/AttachmentList.h"
#include "exchange/NameHistory.h"
#include "exchange/RecordFile.h"
#include "exchange/UserDataSet.h"
#include "platform/CodePages.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;
using StoredFiles = ItemTest<RecordFile>;

// Names given as 8-bit paths are stored with the system's ANSI code page
// (65001 on POSIX).
const uint16_t kAnsi = static_cast<uint16_t>(platform::AnsiCodePage());

// A File record: length, name length, code page, name, the file's bytes.
std::string FileValue(std::u16string_view name, uint16_t codePage, const std::string& data) {
  return U32(static_cast<uint32_t>(8 + 2 * name.size() + data.size())) +
         U16(static_cast<uint16_t>(name.size())) + U16(codePage) + Utf16(name) + data;
}

std::string CodedValue(std::u16string_view text, uint16_t codePage) {
  return U32(static_cast<uint32_t>(6 + 2 * text.size())) + U16(codePage) + Utf16(text);
}

std::vector<std::u16string> Texts(const CodedTextArray& names) {
  std::vector<std::u16string> texts;
  for (uint32_t i = 0; i < names.Size(); ++i) texts.emplace_back(names[i].text.View());
  return texts;
}

TEST_F(StoredFiles, BlocksAsTheFormatLaysThemOut) {
  WriteFile(dir / "a.txt", "x");
  WriteFile(dir / "b.bin", "yz");
  WriteFile(dir / "t0.dat", "1");
  WriteFile(dir / "options.ini", "i");
  WriteFile(dir / "lp.dat", "L");
  ASSERT_TRUE(Create());
  CodedTextArray names;
  names.Add(CodedText(1252, WideString()));  // empty: the default name is used
  names.Add(CodedText(1250, WideString(u"B\u00E9")));
  EXPECT_TRUE(AttachmentList::Write(file, {dir / "a.txt", dir / "b.bin"}, &names));
  UserDataPaths paths;
  paths.tracking = {dir / "t0.dat"};
  paths.optionsIni = dir / "options.ini";
  paths.learningPath = {dir / "lp.dat"};
  paths.optionsUpd = dir / "missing.upd";
  EXPECT_TRUE(UserDataSet::Write(file, paths));
  ASSERT_TRUE(file.Close());

  // Values in the order they were put, each at the offset noted beside it.
  const std::string values = FileValue(u"a.txt", kAnsi, "x") +             // 22
                             FileValue(u"B\u00E9", 1250, "yz") +            // 41
                             CodedValue(u"a.txt", kAnsi) +                  // 55
                             CodedValue(u"B\u00E9", 1250) +                 // 71
                             FileValue(u"t0.dat", kAnsi, "1") +             // 81
                             FileValue(u"options.ini", kAnsi, "i") +        // 102
                             FileValue(u"lp.dat", kAnsi, "L") +             // 133
                             CodedValue(u"t0.dat", kAnsi) +                 // 154
                             CodedValue(u"options.ini", kAnsi) +            // 172
                             CodedValue(u"lp.dat", kAnsi);                  // 200
  const std::string directory = Directory({
      {Entry(10600, 12, 1), Entry(10800, 12, 2), Entry(10700, 12, 3)},
      {Entry(10601, 15, 22), Entry(10602, 15, 41)},
      {Entry(10801, 13, 55), Entry(10802, 13, 71), Entry(10803, 13, 154), Entry(10804, 13, 172),
       Entry(10805, 13, 200)},
      {Entry(10702, 12, 4), Entry(10701, 15, 102), Entry(11705, 12, 5)},
      {Entry(0, 15, 81)},
      {Entry(0, 15, 133)},
  });
  EXPECT_EQ(Hex(ReadFile(path)), Hex(RecordFileBytes(values, directory)));
}

TEST_F(StoredFiles, ARefusedFileLeavesAGapThatEndsTheListButKeepsItsName) {
  WriteFile(dir / "one", "1");
  WriteFile(dir / "empty", "");
  WriteFile(dir / "two", "22");
  WriteThenReopen([&](RecordFile& f) {
    EXPECT_FALSE(AttachmentList::Write(f, {dir / "one", dir / "empty", dir / "two"}));
    EXPECT_FALSE(AttachmentList::Write(f, {dir / "two"})) << "the block is written once";
    EXPECT_FALSE(AttachmentList::Write(f, {})) << "an empty list writes nothing";
  });
  CodedTextArray names;
  names.Add(CodedText(1252, WideString(u"stale")));
  EXPECT_EQ(AttachmentList::Read(file, names), 1);
  EXPECT_EQ(Texts(names), std::vector<std::u16string>{u"one"});
  EXPECT_EQ(Texts(NameHistory::Read(file)), (std::vector<std::u16string>{u"one", u"empty", u"two"}));
  EXPECT_FALSE(AttachmentList::Extract(file, 1, dir / "out")) << "the gap";
  EXPECT_FALSE(AttachmentList::Extract(file, 2, dir / "out")) << "a file past the gap is not listed";
  ASSERT_TRUE(AttachmentList::Extract(file, 0, dir / "out"));
  EXPECT_EQ(ReadFile(dir / "out"), "1");
  EXPECT_EQ(file.Kind(), kNoKind) << "every block entered was left";
}

TEST_F(StoredFiles, WithoutTheirBlocksNothingIsReadOrChanged) {
  WriteThenReopen([](RecordFile& f) { f.SetKind(21); });
  CodedTextArray names;
  names.Add(CodedText(1252, WideString(u"kept")));
  EXPECT_EQ(AttachmentList::Read(file, names), 0);
  EXPECT_EQ(Texts(names), std::vector<std::u16string>{u"kept"});
  UserDataSet data;
  data.trackingCount = 7;
  EXPECT_FALSE(data.Read(file));
  EXPECT_EQ(data.trackingCount, 7);
  EXPECT_FALSE(UserDataSet::ExtractOptionsFile(file, UserDataSet::kTagOptionsUpd, dir / "x"));
  EXPECT_FALSE(AttachmentList::Extract(file, 0, dir / "x"));
  EXPECT_TRUE(NameHistory::Read(file).IsEmpty());
}

}  // namespace
}  // namespace quorvel::exchange
