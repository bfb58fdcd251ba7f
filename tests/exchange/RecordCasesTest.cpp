// Record files as data (tests/data/records): NAME.bytes, NAME.expected its listing or
// "refused"; a readable one is written back unchanged. Every changed byte fails cleanly.
#include <gtest/gtest.h>

#include "ItemTest.h"
#include "RecordListing.h"
#include "exchange/ExchangeFile.h"
#include "exchange/Packing.h"

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

}  // namespace
}  // namespace quorvel::exchange
