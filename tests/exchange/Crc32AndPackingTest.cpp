// The record file's CRC-32 against the definition computed bit by bit (every alignment, tail
// and path), and packed files (bzip2 streams and a u32 trailer of their length) against the
// bzip2 command both ways; heads, damaged streams, failures to pack and the record file's
// expectation are the exchange scripts' cases.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "MisalignedStack.h"
#include "RandomBytes.h"
#include "RecordBytes.h"
#include "TempDirectory.h"
#include "exchange/Crc32.h"
#include "exchange/Packing.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;

class Crc32OnEveryPath : public ::testing::TestWithParam<Crc32Path> {
 protected:
  void SetUp() override { ASSERT_TRUE(UseCrc32Path(GetParam())); }
  void TearDown() override { UseCrc32Path(initial_); }

 private:
  Crc32Path initial_ = CurrentCrc32Path();
};
INSTANTIATE_TEST_SUITE_P(Paths, Crc32OnEveryPath, ::testing::ValuesIn(AvailableCrc32Paths()),
                         [](const auto& info) {
                           return info.param == Crc32Path::Table ? "Table" : "CarrylessMultiply";
                         });

TEST_P(Crc32OnEveryPath, MatchesTheBitwiseDefinitionEverywhereAlsoOnAStackAlignedToFour) {
  std::mt19937 random(7);
  std::string data(6000, '\0');
  for (char& c : data) c = static_cast<char>(random());
  for (size_t start = 0; start < 17; ++start) {
    for (const size_t length : {1, 4, 15, 16, 17, 28, 63, 64, 65, 127, 128, 129, 1000, 4096}) {
      const std::string_view part = std::string_view(data).substr(start, length);
      ASSERT_EQ(Crc32::Of(part.data(), part.size()), ReferenceCrc(part))
          << "start " << start << " length " << length;
    }
  }
  for (int round = 0; round < 200; ++round) {  // random lengths, and in pieces
    const size_t start = random() % 64;
    const size_t length = 1 + random() % (data.size() - 64);
    const std::string_view part = std::string_view(data).substr(start, length);
    const size_t cut = random() % length;
    Crc32 pieces;
    pieces.Update(part.data(), cut);
    pieces.Update(part.data() + cut, length - cut);
    ASSERT_EQ(pieces.Value(), ReferenceCrc(part)) << "start " << start << " cut " << cut;
  }
  // A host or a system thread may call with the stack aligned to 4 bytes only.
  uint32_t crc = 0;
  RunOnAStackAlignedToFourBytes([&] { crc = Crc32::Of(data.data(), 4096); });
  EXPECT_EQ(crc, ReferenceCrc(std::string_view(data).substr(0, 4096)));
}

// The nine digits' check value; empty input is refused; the fastest path is chosen.
TEST(Crc32, CheckValueRefusedInputAndTheChosenPath) {
  EXPECT_EQ(Crc32::Of("123456789", 9), 0x89A1897Fu);
  EXPECT_EQ(UpdateCrc32ByteWise(0, "123456789", 9), 0x89A1897Fu);
  Crc32 crc;
  EXPECT_FALSE(crc.Update(nullptr, 5));
  EXPECT_FALSE(crc.Update("x", 0));
  EXPECT_EQ(crc.Value(), 0u);
  const std::vector<Crc32Path> paths = AvailableCrc32Paths();
  ASSERT_EQ(paths.front(), Crc32Path::Table);
  EXPECT_EQ(CurrentCrc32Path(), paths.back());
  EXPECT_FALSE(UseCrc32Path(static_cast<Crc32Path>(99)));
  EXPECT_EQ(CurrentCrc32Path(), paths.back());
}

// Some text that compresses, long enough to span more than one 4096-byte step.
std::string SampleText(size_t size) {
  std::string text;
  while (text.size() < size) text += "pupil " + std::to_string(text.size() % 997) + " lesson\r\n";
  return text.substr(0, size);
}

// Packing gives bzip2 -5's bytes and the trailer; a bzip2 -5 stream followed by the trailer
// or by anything else unpacks to the input; either buffer.
TEST(PackFile, AgreesWithTheBzip2CommandBothWays) {
  TempDirectory dir;
  const size_t sizes[] = {0, 1, 4095, 4096, 4097, 65536, 100000, 300000};
  for (uint32_t round = 0; round < 16; ++round) {
    const size_t size = sizes[round % 8];
    const std::string input = round >= 8 ? RandomBytes(size, round) : SampleText(size);
    const size_t buffer = round % 2 == 0 ? kPackingBuffer : 0;
    SCOPED_TRACE(std::to_string(size) + (round >= 8 ? " random bytes" : " of text"));
    WriteFile(dir / "source", input);
    ASSERT_TRUE(PackFile(dir / "source", dir / "packed", buffer));
    const std::string bzip2 = "bzip2 -5 -c '" + (dir / "source") + "' > '" + (dir / "b.bz2") + "'";
    ASSERT_EQ(std::system(bzip2.c_str()), 0);
    const std::string stream = ReadFile(dir / "b.bz2");
    const std::string trailer = U32(static_cast<uint32_t>(stream.size()));
    EXPECT_TRUE(ReadFile(dir / "packed") == stream + trailer) << "not bzip2 -5's bytes, trailer";
    WriteFile(dir / "theirs", stream + (round % 3 == 0 ? "any bytes" : trailer));
    UnpackReport report;
    ASSERT_TRUE(UnpackFile(dir / "theirs", dir / "out", buffer, &report));
    EXPECT_TRUE(ReadFile(dir / "out") == input) << "unpacked differs";
    EXPECT_EQ(report.streamLength, stream.size());
  }
}

}  // namespace
}  // namespace quorvel::exchange
