// The record file's CRC-32: its check value and agreement with the definition
// computed bit by bit, over every alignment and tail length.
#include "exchange/Crc32.h"

#include <gtest/gtest.h>

#include <random>

#include "RecordBytes.h"
#include "TempDirectory.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;

TEST(Crc32, CheckValueOfTheNineDigits) {
  EXPECT_EQ(Crc32::Of("123456789", 9), 0x89A1897Fu);
  EXPECT_EQ(UpdateCrc32ByteWise(0, "123456789", 9), 0x89A1897Fu);
}

TEST(Crc32, EmptyOrMissingInputIsRefusedAndChangesNothing) {
  Crc32 crc;
  EXPECT_FALSE(crc.Update(nullptr, 5));
  EXPECT_FALSE(crc.Update("x", 0));
  EXPECT_EQ(crc.Value(), 0u);
}

TEST(Crc32, SlicedComputationMatchesTheBitwiseDefinitionEverywhere) {
  std::mt19937 random(7);
  std::string data(4096 + 64, '\0');
  for (char& c : data) c = static_cast<char>(random());
  for (size_t start = 0; start < 17; ++start) {
    for (const size_t length : {1, 15, 16, 17, 31, 33, 100, 1000, 4096}) {
      const std::string_view part = std::string_view(data).substr(start, length);
      ASSERT_EQ(Crc32::Of(part.data(), part.size()), ReferenceCrc(part))
          << "start " << start << " length " << length;
    }
  }
  Crc32 pieces;  // folding in pieces gives the CRC of the whole
  pieces.Update(data.data(), 5);
  pieces.Update(data.data() + 5, 1000);
  pieces.Update(data.data() + 1005, data.size() - 1005);
  EXPECT_EQ(pieces.Value(), ReferenceCrc(data));
}

TEST(Crc32, OfFileFoldsInFromTheStartOffsetToTheEnd) {
  TempDirectory dir;
  std::string data(25000, '\0');  // more than two 10000-byte chunks
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 256);
  WriteFile(dir / "f", data);
  platform::File file = platform::File::Open(dir / "f", platform::FileAccess::Read,
                                             platform::FileShare::DenyNone,
                                             platform::FileDisposition::OpenExisting);
  Crc32 crc;
  ASSERT_TRUE(crc.OfFile(file, 22));
  EXPECT_EQ(crc.Value(), ReferenceCrc(std::string_view(data).substr(22)));
}

}  // namespace
}  // namespace quorvel::exchange
