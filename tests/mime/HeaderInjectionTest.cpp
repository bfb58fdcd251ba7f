// Texts that reach a header line of the composed message never end that line
// early: CR, LF and NUL become spaces, so no caller can add a header (a
// "Bcc:") of its own. The body keeps its line breaks.
#include <gtest/gtest.h>

#include <regex>

#include "TempDirectory.h"
#include "message/MailMessage.h"
#include "message/MimeLayout.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

TEST(HeaderInjection, LineBreaksInHeaderTextsBecomeSpaces) {
  TempDirectory directory;
  // A name shown for the file: Windows allows no CR or LF in a file name.
  const std::string attachment = directory / "a.txt";
  WriteFile(attachment, "Man");
  MailMessage message(nullptr, nullptr, nullptr);
  message.SetSender("127.0.0.1", 25, "pupil@example.test\r\nBcc: a@elsewhere.test",
                    "Pupil\nBcc: Eve");
  message.SetRecipient("tutor@example.test\r\nBcc: c@elsewhere.test");
  message.SetCc("cc@example.test\rBcc: d@elsewhere.test");
  message.SetSubject(std::string("Hello\r\nBcc: e@elsewhere.test\0", 29));
  message.SetBody("Line one\r\nLine two");
  ASSERT_TRUE(message.AddAttachment("a\r\nContent-Type: text.txt", attachment.c_str(), false));

  MimeFile file(directory / "m.eml");
  const TextScan body = ScanText(message.body);
  WriteHeaderBlock(file, message, body, "Date: Sun, 6 Dec 2026 13:00:00 +0000");
  WriteTextPart(file, message, body);
  WriteAttachmentParts(file, message);
  file.Close();
  std::string composed = ReadFile(directory / "m.eml");
  const std::regex messageId("Message-ID: <[0-9a-f]+\\.[0-9a-f]+\\.[0-9a-f]+@elsewhere\\.test>\r\n");
  std::smatch found;
  ASSERT_TRUE(std::regex_search(composed, found, messageId));
  composed.erase(found.position(0), found.length(0));
  EXPECT_EQ(composed.substr(0, composed.find("MIME-Version")),
            "From: \"Pupil Bcc: Eve\" <pupil@example.test  Bcc: a@elsewhere.test>\r\n"
            "To: <tutor@example.test  Bcc: c@elsewhere.test>\r\n"
            "Cc: <cc@example.test Bcc: d@elsewhere.test>\r\n"
            "Subject: Hello  Bcc: e@elsewhere.test \r\n"
            "Date: Sun, 6 Dec 2026 13:00:00 +0000\r\n");
  EXPECT_NE(composed.find("\r\n\r\nLine one\r\nLine two\r\n"), std::string::npos);
  EXPECT_NE(composed.find("\tname=\"a  Content-Type: text.txt\"\r\n"), std::string::npos);
  EXPECT_NE(composed.find("\tfilename=\"a  Content-Type: text.txt\"\r\n"), std::string::npos);
}

}  // namespace
}  // namespace quorvel
