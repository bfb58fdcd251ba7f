// Record files as data (tests/data/records): each NAME.bytes is a record file
// written by hand from the format's tables, NAME.expected "refused" when it
// does not open, else its listing (RecordListing.h). A file whose every value
// reads is written back unchanged by a writable open.
#include <gtest/gtest.h>

#include "ItemTest.h"
#include "RecordListing.h"

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

}  // namespace
}  // namespace quorvel::exchange
