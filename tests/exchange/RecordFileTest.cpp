// The record file container: the bytes its writers give (the cases of
// tests/data/records, written from the format's tables), and every
// accessor's success and failure.
#include "exchange/RecordFile.h"

#include <gtest/gtest.h>

#include "ByteCases.h"
#include "ItemTest.h"
#include "exchange/RecordDirectory.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;
using RecordFileTest = ItemTest<RecordFile>;

constexpr bool kWritable = false;  // the readOnly argument
constexpr bool kReadOnly = true;
constexpr bool kCreate = true;

std::string CaseBytes(const std::string& name) {
  return Hex(ParseBytes(ReadCaseFile(std::string(QUORVEL_TEST_DATA) + "/records/" + name + ".bytes")));
}

TEST_F(RecordFileTest, AFreshFileHoldingOnlyTheKindIs34Bytes) {
  ASSERT_TRUE(Create());
  EXPECT_EQ(file.Kind(), kNoKind);
  ASSERT_TRUE(file.SetKind(21));
  ASSERT_TRUE(file.SetKind(20)) << "replaces the kind";
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(Hex(ReadFile(path)), CaseBytes("kind-only"));
  RecordFile closed;
  uint32_t value = 3;
  EXPECT_EQ(closed.Kind(), kNoKind) << "a closed file has no kind";
  EXPECT_FALSE(closed.GetU32(1, value));
  EXPECT_FALSE(closed.PutU32(1, 1));
}

TEST_F(RecordFileTest, EveryValueTypeAsTheFormatLaysItOut) {
  WriteFile(dir / "source", "abc");
  ASSERT_TRUE(Create());
  ASSERT_TRUE(file.SetKind(20));
  ASSERT_TRUE(file.PutU32(1, 0x11223344));
  ASSERT_TRUE(file.PutTime(2, 1700000000));
  ASSERT_TRUE(file.PutWide(3, WideString(u"Hi")));
  ASSERT_TRUE(file.PutCoded(4, CodedText(1252, WideString())));
  ASSERT_TRUE(file.PutCoded(5, CodedText(1252, WideString(u"\u00E9"))));
  ASSERT_TRUE(file.PutObject(6, ArchivedU32(7)));
  ASSERT_TRUE(file.PutFile(7, dir / "source", CodedText(65001, WideString(u"a.txt"))));
  ASSERT_TRUE(file.CreateBlock(8));
  ASSERT_TRUE(file.PutWide(3, WideString()));
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(Hex(ReadFile(path)), CaseBytes("every-value"));
}

TEST_F(RecordFileTest, ARemovedValueStaysUnreferencedAndTheFileEndsWithTheDirectory) {
  ASSERT_TRUE(Create());
  file.PutU32(1, 1);
  file.PutWide(2, WideString(u"x"));
  file.PutU32(3, 3);
  ASSERT_TRUE(file.Close());
  ASSERT_TRUE(file.Open(path, kWritable, false));
  ASSERT_TRUE(file.Remove(2));
  EXPECT_FALSE(file.Remove(2));
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(Hex(ReadFile(path)), CaseBytes("removed-value"))
      << "the order of the others is kept; nothing stale follows the directory";
}

TEST_F(RecordFileTest, MagicAndAlternativeMagic) {
  ASSERT_TRUE(file.Open(dir / "alt", kWritable, kCreate, true));
  file.PutU32(1, 5);
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(ReadFile(dir / "alt").substr(0, 4), std::string("QLF\0", 4));
  EXPECT_FALSE(file.Open(dir / "alt", kReadOnly, false)) << "QLF needs the flag";
  EXPECT_TRUE(file.Open(dir / "alt", kReadOnly, false, true));
  file.Close();
  WriteFile(dir / "foreign", std::string("QVX\0", 4) + std::string(30, '\0'));
  WriteFile(dir / "short", "QVS");
  for (const char* name : {"foreign", "short", "missing"}) {
    EXPECT_FALSE(file.Open(dir / name, kReadOnly, false)) << name;
  }
  EXPECT_FALSE(platform::IsExistingFile(dir / "missing")) << "created only when asked";
}

TEST_F(RecordFileTest, ReadOnlySharesAndRefusesChangesWritableIsExclusive) {
  RecordFile writer, reader, second;
  ASSERT_TRUE(writer.Open(path, kWritable, kCreate));
  writer.PutU32(1, 9);
  ASSERT_TRUE(writer.Close());
  const std::string bytes = ReadFile(path);
  ASSERT_TRUE(reader.Open(path, kReadOnly, false));
  EXPECT_EQ(reader.GetMode(), RecordFile::kReadOnly);
  EXPECT_TRUE(second.Open(path, kReadOnly, false)) << "readers share";
  EXPECT_FALSE(reader.PutU32(2, 1) || reader.SetU32(1, 1) || reader.Remove(1) || reader.CreateBlock(3));
  EXPECT_TRUE(reader.Close());
  EXPECT_TRUE(second.Close());
  EXPECT_EQ(ReadFile(path), bytes);
  ASSERT_TRUE(writer.Open(path, kWritable, false));
  EXPECT_EQ(writer.GetMode(), RecordFile::kWritable);
  EXPECT_FALSE(reader.Open(path, kReadOnly, false)) << "a writer holds it exclusively";
  EXPECT_TRUE(writer.Close());
  EXPECT_FALSE(writer.Close()) << "closing a closed file";
}

TEST_F(RecordFileTest, ABlockWithoutEntriesCannotBeWritten) {
  ASSERT_TRUE(file.Open(dir / "empty", kWritable, kCreate));
  EXPECT_FALSE(file.Close()) << "the root holds nothing";
  EXPECT_FALSE(file.IsOpen());
  ASSERT_TRUE(file.Open(dir / "sub", kWritable, kCreate));
  file.SetKind(20);
  file.CreateBlock(10600);
  EXPECT_FALSE(file.Close()) << "an empty sub-block";
}

TEST_F(RecordFileTest, ABlockHoldsAtMost65535Entries) {
  std::vector<std::string> entries;
  for (uint32_t tag = 0; tag < 0xFFFF; ++tag) entries.push_back(Entry(tag, kTypeU32, tag));
  WriteFile(path, RecordFileBytes("", Directory({entries})));
  ASSERT_TRUE(file.Open(path, kWritable, false));
  EXPECT_FALSE(file.PutU32(0xFFFF, 1)) << "its count would wrap to 0";
  EXPECT_TRUE(file.Close());
  BlockList blocks(kBlockListGrowBy);
  blocks.Adopt(std::make_unique<TagEntryArray>());
  blocks[0].SetSize(0x10000);
  EXPECT_EQ(EncodeDirectory(blocks), "") << "a directory never stores a wrapped count";
}

TEST_F(RecordFileTest, InlineValuesAndTheirDefaults) {
  ASSERT_TRUE(Create());
  EXPECT_TRUE(file.PutU32(1, 42) && file.PutByte(2, 0xFE) && file.PutTime(3, 123456));
  EXPECT_FALSE(file.PutU32(1, 43)) << "Put refuses an existing tag";
  EXPECT_FALSE(file.PutByte(1, 1) || file.PutWide(1, WideString(u"x"))) << "of any type";
  uint32_t u32 = 7, time = 7;
  uint8_t byte = 7;
  EXPECT_TRUE(file.GetU32(1, u32) && file.GetByte(2, byte) && file.GetTime(3, time));
  EXPECT_EQ(std::tie(u32, byte, time), std::make_tuple(42u, uint8_t{0xFE}, 123456u));
  EXPECT_FALSE(file.GetU32(2, u32)) << "a Byte is not a U32";
  EXPECT_FALSE(file.GetByte(99, byte));
  EXPECT_EQ(u32 + byte, 0u) << "both cleared";
  const uint32_t before = platform::UtcSecondsNow();
  EXPECT_FALSE(file.GetTime(99, time));
  EXPECT_GE(time, before) << "an absent time is the current time";
  EXPECT_LE(time, platform::UtcSecondsNow());

  EXPECT_TRUE(file.SetU32(1, 43));
  EXPECT_TRUE(file.SetByte(1, 3)) << "Set replaces whatever the tag held";
  EXPECT_TRUE(file.GetByte(1, byte));
  EXPECT_EQ(byte, 3);
  EXPECT_TRUE(file.SetTime(9, 5)) << "Set of an absent tag puts it";
  TagEntry entry;
  EXPECT_TRUE(file.Find(9, entry));
  EXPECT_EQ(entry.type, kTypeTime);
  EXPECT_EQ(entry.value, 5u);
  EXPECT_FALSE(file.Find(10, entry));
}

TEST_F(RecordFileTest, TextValuesAndTheirDefaults) {
  const WideString greeting(u"Gr\u00FC\u00DFe \U0001F600");
  const CodedText peace(1251, WideString(u"\u041C\u0438\u0440"));
  WriteThenReopen([&](RecordFile& f) {
    f.PutWide(1, greeting);
    f.PutWide(2, WideString());
    f.PutCoded(3, peace);
    f.PutCoded(4, CodedText(1251, WideString()));
    f.PutU32(5, 1);
  });
  const std::tuple<uint16_t, bool, WideString> wides[] = {
      {1, true, greeting}, {2, true, WideString()}, {5, false, WideString()}};  // a U32 is no Wide
  for (const auto& [tag, found, expected] : wides) {
    WideString wide(u"stale");
    EXPECT_EQ(file.GetWide(tag, wide), found) << tag;
    EXPECT_EQ(wide.View(), expected.View()) << tag;
  }
  CodedText coded(437, WideString(u"stale"));
  EXPECT_TRUE(file.GetCoded(3, coded));
  EXPECT_EQ(coded, peace);
  EXPECT_TRUE(file.GetCoded(4, coded));
  EXPECT_EQ(coded, CodedText::Default()) << "an empty text keeps no code page";
  coded = CodedText(437, WideString(u"stale"));
  EXPECT_FALSE(file.GetCoded(99, coded));
  EXPECT_EQ(coded, CodedText(437, WideString())) << "cleared: the text goes, the page stays";
}

TEST_F(RecordFileTest, ObjectsGoThroughTheirArchiveForm) {
  ASSERT_TRUE(Create());
  CodedTextArray names, loaded;
  names.Add(CodedText(1252, WideString(u"one")));
  names.Add(CodedText(1250, WideString(u"two")));
  ASSERT_TRUE(file.PutObject(1, names));
  ASSERT_TRUE(file.PutObjectBytes(2, std::string("\x01\x02", 2)));
  ASSERT_TRUE(file.PutObject(3, ArchivedU32(99)));
  ASSERT_TRUE(file.GetObject(1, loaded));
  ASSERT_EQ(loaded.Size(), 2u);
  EXPECT_EQ(loaded[1], names[1]);
  ArchivedU32 value(5);
  EXPECT_FALSE(file.GetObject(2, value)) << "two bytes do not hold a u32";
  EXPECT_FALSE(file.GetObject(4, value));
  EXPECT_TRUE(file.GetObject(3, value));
  EXPECT_EQ(value.value, 99u);
}

TEST_F(RecordFileTest, StoredFiles) {
  std::string content(45000, '\0');  // more than two 20000-byte copy steps
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i % 251);
  WriteFile(dir / "big.bin", content);
  WriteFile(dir / "empty", "");
  WriteThenReopen([&](RecordFile& f) {
    EXPECT_TRUE(f.PutFile(1, dir / "big.bin", CodedText(1252, WideString(u"big.bin"))));
    EXPECT_FALSE(f.PutFile(2, dir / "empty", CodedText(1252, WideString(u"empty"))));
    EXPECT_FALSE(f.PutFile(3, dir / "missing", CodedText(1252, WideString(u"missing"))));
    EXPECT_FALSE(f.PutFile(1, dir / "big.bin", CodedText())) << "the tag is taken";
    EXPECT_TRUE(f.PutFile(4, dir / "big.bin", CodedText()));
  });
  CodedText name;
  uint32_t size = 0;
  ASSERT_TRUE(file.GetFileInfo(1, name, size));
  EXPECT_EQ(name, CodedText(1252, WideString(u"big.bin")));
  EXPECT_EQ(size, content.size());
  EXPECT_FALSE(file.GetFileInfo(2, name, size));
  EXPECT_EQ(size, 0u);
  ASSERT_TRUE(file.GetFileInfo(4, name, size));
  EXPECT_TRUE(name.text.IsEmpty());

  ASSERT_TRUE(file.ExtractFile(1, dir / "out", false));
  EXPECT_EQ(ReadFile(dir / "out"), content);
  WriteFile(dir / "locked", "old");
  platform::SetReadOnly(dir / "locked", true);
  EXPECT_FALSE(file.ExtractFile(1, dir / "locked", false));
  EXPECT_EQ(ReadFile(dir / "locked"), "old");
  ASSERT_TRUE(file.ExtractFile(1, dir / "locked", true)) << "replaces a read-only target";
  EXPECT_EQ(ReadFile(dir / "locked"), content);
  EXPECT_FALSE(file.ExtractFile(2, dir / "none", true));
  EXPECT_FALSE(platform::IsExistingFile(dir / "none"));
  EXPECT_FALSE(file.ExtractFile(1, dir / "no/such/dir", true));
}

TEST_F(RecordFileTest, CreateEnterAndLeaveWalkATree) {
  ASSERT_TRUE(Create());
  file.SetKind(20);
  ASSERT_TRUE(file.CreateBlock(10600));
  file.PutU32(1, 61);
  ASSERT_TRUE(file.CreateBlock(10702));
  file.PutU32(1, 72);
  for (int i = 0; i < 3; ++i) file.LeaveBlock();  // never above the root
  EXPECT_EQ(file.Kind(), 20);
  ASSERT_TRUE(file.CreateBlock(10600)) << "an existing block is entered";
  uint32_t inner = 0, innermost = 0;
  EXPECT_TRUE(file.GetU32(1, inner));
  EXPECT_TRUE(file.EnterBlock(10702));
  EXPECT_TRUE(file.GetU32(1, innermost));
  EXPECT_EQ(std::make_pair(inner, innermost), std::make_pair(61u, 72u))
      << "the same tag in another block is another value";
  EXPECT_FALSE(file.EnterBlock(10600)) << "blocks are entered from their parent";
  file.LeaveBlock();
  file.LeaveBlock();
  EXPECT_FALSE(file.EnterBlock(10700));
  EXPECT_FALSE(file.EnterBlock(kTagKind)) << "a Byte is not a block";
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(Hex(ReadFile(path)), CaseBytes("tree"));
}

}  // namespace
}  // namespace quorvel::exchange
