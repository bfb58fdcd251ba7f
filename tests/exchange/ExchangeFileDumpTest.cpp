// The dump of an exchange file: the whole text for a small packed item, and
// what it says about damage.
#include "exchange/ExchangeFileDump.h"

#include <gtest/gtest.h>

#include <sstream>

#include "ByteCases.h"
#include "ItemTest.h"
#include "exchange/ExchangeFile.h"
#include "exchange/Packing.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;
using ExchangeFileDump = ItemTest<ExchangeFile>;

// The dump with the problems in their place among its lines.
std::string Dump(const std::string& path, bool expected) {
  std::ostringstream out;
  EXPECT_EQ(DumpExchangeFile(path, out, out), expected) << out.str();
  return out.str();
}

TEST_F(ExchangeFileDump, ShowsAPackedItemWithEveryValue) {
  WriteFile(dir / "notes.txt", "12345");
  ASSERT_TRUE(Create());
  file.SetKind(20);
  file.PutTime(10103, 1700000000);
  file.CreateBlock(10200);
  file.PutU32(10201, 255);
  file.PutCoded(10202, CodedText(1252, WideString(u"Ren\u00E9e \"R\"")));
  file.PutObject(10210, ArchivedU32(3));
  file.PutWide(10211, WideString(u"line\r\n"));
  file.LeaveBlock();
  file.CreateBlock(10600);
  file.PutFile(10601, dir / "notes.txt", CodedText(1252, WideString(u"notes.txt")));
  ASSERT_TRUE(file.Close());
  const size_t packedSize = ReadFile(path).size();

  const std::string dump = Dump(path, true);
  const std::string expectedHead = "file: " + path + " (" + std::to_string(packedSize) +
                                   " bytes)\npacked: yes, a bzip2 stream of " +
                                   std::to_string(packedSize - 4) + " bytes, trailer " +
                                   std::to_string(packedSize - 4) + "\n";
  EXPECT_EQ(dump.substr(0, expectedHead.size()), expectedHead);
  const std::string tree =
      ReadCaseFile(std::string(QUORVEL_TEST_DATA) + "/item-dump/every-value.tree");
  EXPECT_NE(dump.find("CRC: "), std::string::npos);
  EXPECT_NE(dump.find(" (holds)\n"), std::string::npos);
  EXPECT_EQ(dump.substr(dump.size() - std::min(dump.size(), tree.size())), tree) << dump;
  EXPECT_EQ(temporary.Files(), std::vector<std::string>{}) << "the unpacked copy is removed";
}

TEST_F(ExchangeFileDump, SaysWhatIsDamagedAndWhere) {
  const std::string good = RecordFileBytes(U32(8) + Utf16(u"ok"), Directory({{Entry(1, 8, 22)}}));
  WriteFile(dir / "good", good);
  EXPECT_NE(Dump(dir / "good", true).find("packed: no\n"), std::string::npos);

  std::string badCrc = good;
  badCrc[28] = 'X';  // the second code unit of the text
  WriteFile(dir / "crc", badCrc);
  const std::string crcDump = Dump(dir / "crc", false);
  EXPECT_NE(crcDump.find("(does not hold: the bytes give 0x"), std::string::npos) << crcDump;
  EXPECT_NE(crcDump.find("damaged: the CRC does not hold (offset 18)\n"), std::string::npos);
  EXPECT_NE(crcDump.find("1 Wide \"oX\"\n"), std::string::npos) << "the tree is still shown";

  WriteFile(dir / "count", RecordFileBytes("", U16(1) + U16(40) + Entry(1, 1, 1)));
  EXPECT_NE(Dump(dir / "count", false)
                .find("damaged: the entries of block 0 (40) run past the end of the file (offset 24)\n"),
            std::string::npos);

  WriteFile(dir / "value", RecordFileBytes(U32(99) + Utf16(u"ok"),
                                           Directory({{Entry(1, 8, 22), Entry(2, 12, 7)}})));
  const std::string valueDump = Dump(dir / "value", false);
  EXPECT_NE(valueDump.find("damaged: the record length 99 runs past the value area (offset 22)\n"),
            std::string::npos) << valueDump;
  EXPECT_NE(valueDump.find("damaged: the entry names block 7, but there are 1 (offset 7)\n"),
            std::string::npos) << valueDump;

  std::string cut = ReadFile(dir / "good");
  WriteFile(dir / "source", cut);
  ASSERT_TRUE(PackFile(dir / "source", dir / "packed", kPackingBuffer));
  const std::string packed = ReadFile(dir / "packed");
  WriteFile(dir / "truncated", packed.substr(0, 20));
  EXPECT_NE(Dump(dir / "truncated", false).find("damaged: the bzip2 stream ends early (offset 20)\n"),
            std::string::npos);

  WriteFile(dir / "short", "QVS");
  EXPECT_NE(Dump(dir / "short", false).find("damaged: the header is cut off"), std::string::npos);
  // A missing file, one that is no record file and a length trailer that
  // does not match its stream are the command's tests (command_lines_test.py).
}

}  // namespace
}  // namespace quorvel::exchange
