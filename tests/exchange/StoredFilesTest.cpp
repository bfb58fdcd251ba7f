// The blocks that hold files inside an item: attachments (10600), learning
// data (10700 with its sub-blocks) and the history of stored names (10800).
#include <gtest/gtest.h>

#include "ByteCases.h"
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

// 8-bit paths' names are stored in the ANSI code page (65001 on POSIX, 1252 under Wine).
const uint16_t kAnsi = static_cast<uint16_t>(platform::AnsiCodePage());

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

  const std::string name = "/records/stored-files-" + std::to_string(kAnsi) + ".bytes";
  EXPECT_EQ(Hex(ReadFile(path)), Hex(ParseBytes(ReadCaseFile(QUORVEL_TEST_DATA + name))));
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
