#include "mail/MailDataDump.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "TempDirectory.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

TEST(MailDataDump, EveryFieldAndTheContentFilesBesideIt) {
  TempDirectory dir;
  WriteFile(dir / "m.mes",
            "#Version : 1\r\n#CodePage : 1252\r\n#SenderName : P\xE9ter\r\n#From : p@x.test\r\n"
            "#To : a@x.test,b@x.test\r\n#Copy : \r\n#Subject : \"Hi\"\x1B[2J\r\n"
            "#Message : one\r\ntwo\r\n#BodyType : HTML 1\r\n#Attachments : a.txt,b.htm\r\n");
  WriteFile(dir / "m_2.att", "<p>12</p>");
  std::ostringstream out;
  ASSERT_TRUE(DumpMailDataFile(dir / "m.mes", out));
  EXPECT_EQ(out.str(), "mail-data file " + (dir / "m.mes") + "\n"
                       "  version      \"1\"\n"
                       "  code page    1252\n"
                       "  sender name  \"P\\xE9ter\"\n"
                       "  from         \"p@x.test\"\n"
                       "  to           2: \"a@x.test\", \"b@x.test\"\n"
                       "  copy         0\n"
                       "  subject      \"\\\"Hi\\\"\\x1B[2J\"\n"
                       "  message      8 bytes\n"
                       "    | \"one\"\n"
                       "    | \"two\"\n"
                       "  body         HTML, attachment 1\n"
                       "  attachments  1\n"
                       "    1 \"b.htm\", content " + (dir / "m_2.att") + " (9 bytes)\n"
                       "  left out     \"a.txt\": it has no content file beside the mail\n");
  std::ostringstream missing;
  EXPECT_FALSE(DumpMailDataFile(dir / "none.mes", missing));
}

// Each tests/data/mes/NAME.mes (with its NAME_k.att files) dumps as
// NAME.dump says, DIR standing for the directory: line ends, a byte-order
// mark, and attachments that are not files beside the mail.
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
  EXPECT_EQ(cases, 4);
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
