// Packed files are bzip2 streams plus a u32 trailer holding the stream's length, checked
// against the bzip2 command both ways (heads and failures: the exchange scripts).
#include "exchange/Packing.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "RecordBytes.h"
#include "exchange/RecordFormat.h"
#include "TempDirectory.h"
#include "platform/FileSystem.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;

// Some text that compresses, long enough to span more than one 4096-byte step.
std::string SampleText(size_t size) {
  std::mt19937 random(11);
  const char* words[] = {"pupil ", "tutor ", "mail ", "reply ", "lesson ", "\r\n", "verb ", "\xE9t\xE9 "};
  std::string text;
  while (text.size() < size) text += words[random() % 8];
  text.resize(size);
  return text;
}

// Packing gives bzip2 -5's bytes and the trailer; a bzip2 -5 stream followed by the trailer
// or by anything else unpacks to the input; either buffer.
TEST(PackFile, AgreesWithTheBzip2CommandBothWays) {
  TempDirectory dir;
  std::mt19937 random(5);
  const size_t sizes[] = {0, 1, 4095, 4096, 4097, 65536, 100000, 300000};
  for (size_t round = 0; round < 16; ++round) {
    const size_t size = sizes[round % 8];
    std::string input = SampleText(size);
    if (round >= 8) {
      for (char& c : input) c = static_cast<char>(random());
    }
    SCOPED_TRACE(std::to_string(size) + (round >= 8 ? " random bytes" : " of text"));
    WriteFile(dir / "source", input);
    ASSERT_TRUE(PackFile(dir / "source", dir / "packed", round % 2 == 0 ? kPackingBuffer : 0));
    const std::string bzip2 = "bzip2 -5 -c '" + (dir / "source") + "' > '" + (dir / "reference.bz2") + "'";
    ASSERT_EQ(std::system(bzip2.c_str()), 0);
    const std::string stream = ReadFile(dir / "reference.bz2");
    const std::string trailer = U32(static_cast<uint32_t>(stream.size()));
    EXPECT_TRUE(ReadFile(dir / "packed") == stream + trailer) << "not bzip2 -5's bytes, trailer";
    WriteFile(dir / "theirs", stream + (round % 3 == 0 ? "any bytes" : trailer));
    UnpackReport report;
    ASSERT_TRUE(UnpackFile(dir / "theirs", dir / "out", round % 2 == 0 ? kPackingBuffer : 0, &report));
    EXPECT_TRUE(ReadFile(dir / "out") == input) << "unpacked differs";
    EXPECT_EQ(report.streamLength, stream.size());
  }
}

TEST(UnpackFile, TruncatedOrCorruptStreamsFailAndSayWhere) {
  TempDirectory dir;
  const std::string text = SampleText(200000);
  WriteFile(dir / "source", text);
  ASSERT_TRUE(PackFile(dir / "source", dir / "packed", kPackingBuffer));
  const std::string packed = ReadFile(dir / "packed");

  WriteFile(dir / "truncated", packed.substr(0, packed.size() / 2));
  UnpackReport report;
  EXPECT_FALSE(UnpackFile(dir / "truncated", dir / "out1", kPackingBuffer, &report));
  EXPECT_EQ(report.problem, "the bzip2 stream ends early");
  EXPECT_EQ(report.offset, packed.size() / 2);

  std::string corrupt = packed;
  corrupt[packed.size() / 3] ^= 0x20;
  WriteFile(dir / "corrupt", corrupt);
  EXPECT_FALSE(UnpackFile(dir / "corrupt", dir / "out2", kPackingBuffer, &report));
  EXPECT_FALSE(report.problem.empty());
  EXPECT_LE(report.offset, packed.size());

  WriteFile(dir / "head-only", "BZh9");
  EXPECT_FALSE(UnpackFile(dir / "head-only", dir / "out3", kPackingBuffer));
}

// With the record file's expectation, unpacking stops at a head that is not a record file's,
// or at the length the head announces, before writing past it.
TEST(UnpackFile, WithAnExpectationStopsAtAWrongHeadOrPastTheAnnouncedLength) {
  TempDirectory dir;
  const std::string zeros(16 << 20, '\0');
  // magic, version 100, header size 22, directory offset 22, file length 100, CRC
  const std::string head100 = std::string("QVS\0", 4) + U16(100) + U32(22) + U32(22) + U32(100) + U32(0);
  const std::string record = RecordFileBytes("", Directory({{Entry(10000, 5, 20)}}));
  struct Case {
    const char* name;
    std::string content;
    bool unpacks;
    size_t mostWritten;
  };
  const Case cases[] = {
      {"16 MiB of zeros", zeros, false, 0},
      {"a head announcing 100 bytes, then 16 MiB", head100 + zeros, false, 100},
      {"a record file", record, true, record.size()},
      {"the alternative magic", "QLF" + record.substr(3), true, record.size()},
      {"shorter than a head", record.substr(0, 21), false, 0},
      {"a head announcing less than itself",
       std::string("QVS\0", 4) + U16(100) + U32(22) + U32(22) + U32(21) + U32(0), false, 0},
  };
  for (const Case& c : cases) {
    WriteFile(dir / "source", c.content);
    ASSERT_TRUE(PackFile(dir / "source", dir / "packed", kPackingBuffer));
    UnpackReport report;
    EXPECT_EQ(UnpackFile(dir / "packed", dir / "out", kPackingBuffer, &report, &kUnpackedRecordFile),
              c.unpacks) << c.name;
    EXPECT_LE(ReadFile(dir / "out").size(), c.mostWritten) << c.name;
    EXPECT_EQ(report.problem.empty(), c.unpacks) << c.name << ": " << report.problem;
    platform::RemoveFile(dir / "out");
  }
  ASSERT_TRUE(UnpackFile(dir / "packed", dir / "out", kPackingBuffer)) << "no expectation, no limit";
  EXPECT_EQ(ReadFile(dir / "out").size(), 22u) << "the whole head of the last case";
}

}  // namespace
}  // namespace quorvel::exchange
