#include "mail/MailDataDump.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "TempDirectory.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// Each tests/data/mes/NAME.mes (with its NAME_k.att files) dumps as
// NAME.dump says, DIR standing for the directory: every field, bytes shown
// escaped, line ends, a byte-order mark, attachments that are not files
// beside the mail, and the reading rules (body types, code pages, keys
// inside the message, empty list pieces, lines in any order).
TEST(MailDataDump, TheFilesOfTheDataDirectory) {
  const std::string directory = QUORVEL_TEST_DATA "/mes/";
  int cases = 0;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    if (entry.path().extension() != ".mes") continue;
    ++cases;
    std::ostringstream out;
    EXPECT_TRUE(DumpMailDataFile(entry.path().string(), out)) << entry.path();
    std::string dump = out.str();
    for (size_t at; (at = dump.find(directory)) != std::string::npos;) dump.replace(at, directory.size(), "DIR/");
    std::filesystem::path expected = entry.path();
    EXPECT_EQ(dump, ReadFile(expected.replace_extension(".dump").string())) << entry.path();
  }
  EXPECT_EQ(cases, 22);
  std::ostringstream missing;
  EXPECT_FALSE(DumpMailDataFile(directory + "none.mes", missing));
}

// A file above the cap is not read, whatever it holds.
TEST(MailDataDump, AFileOverTheCapIsRefusedUnread) {
  TempDirectory dir;
  WriteFile(dir / "big.mes", "#To : t@x.test\r\n");
  std::filesystem::resize_file(dir / "big.mes", (uint64_t{64} << 20) + 1);
  std::ostringstream out;
  EXPECT_FALSE(DumpMailDataFile(dir / "big.mes", out));
  EXPECT_EQ(out.str(), "cannot read mail-data file " + (dir / "big.mes") +
                           ": larger than 64 MiB (67108865 bytes)\n");
}

}  // namespace
}  // namespace quorvel
