#include "mail/MailDataDump.h"

#include <gtest/gtest.h>

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
                       "  body         HTML, attachment 2\n"
                       "  attachments  2\n"
                       "    1 \"a.txt\", no content file beside it\n"
                       "    2 \"b.htm\", content " + (dir / "m_2.att") + " (9 bytes)\n");
  std::ostringstream missing;
  EXPECT_FALSE(DumpMailDataFile(dir / "none.mes", missing));
}

}  // namespace
}  // namespace quorvel
