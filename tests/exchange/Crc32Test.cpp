// The record file's CRC-32 against the definition computed bit by bit, on every alignment,
// tail length and path the processor has.
#include "exchange/Crc32.h"

#include <gtest/gtest.h>

#include <random>

#include "MisalignedStack.h"
#include "RecordBytes.h"
#include "TempDirectory.h"

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

TEST_P(Crc32OnEveryPath, MatchesTheBitwiseDefinitionEverywhere) {
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
}

// A host or a system thread may call with the stack aligned to 4 bytes only.
TEST_P(Crc32OnEveryPath, RunsOnAStackAlignedToFourBytesOnly) {
  const std::string data(4096, 'q');
  uint32_t crc = 0;
  RunOnAStackAlignedToFourBytes([&] { crc = Crc32::Of(data.data(), data.size()); });
  EXPECT_EQ(crc, ReferenceCrc(data));
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

TEST(Crc32, OfFileFoldsInFromTheStartOffsetToTheEnd) {
  TempDirectory dir;
  std::string data(25000, '\0');  // more than two 10000-byte chunks
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 256);
  WriteFile(dir / "f", data);
  platform::File file = platform::File::Open(dir / "f", platform::FileAccess::Read,
                                             platform::FileShare::DenyNone,
                                             platform::FileDisposition::OpenExisting);
  RecordSource bytes(file);
  Crc32 crc;
  ASSERT_TRUE(crc.OfFile(bytes, 22));
  EXPECT_EQ(crc.Value(), ReferenceCrc(std::string_view(data).substr(22)));
}

}  // namespace
}  // namespace quorvel::exchange
