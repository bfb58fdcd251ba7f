// Texts that reach a header line of the composed message never end that line
// early: CR, LF and NUL become spaces, so no caller can add a header (a
// "Bcc:") of its own. The body keeps its line breaks.
#include <gtest/gtest.h>

#include <regex>

#include "TempDirectory.h"
#include "mime/MailMessage.h"
#include "mime/MimeLayout.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

TEST(HeaderInjection, LineBreaksInHeaderTextsBecomeSpaces) {
  TempDirectory directory;
  const std::string attachment = directory / "a\r\nContent-Type: text.txt";
  WriteFile(attachment, "Man");
  MailMessage message(nullptr, nullptr, nullptr);
  message.SetSender("127.0.0.1", 25, "pupil@example.test\r\nBcc: a@elsewhere.test",
                    "Pupil\nBcc: Eve");
  message.SetRecipient("tutor@example.test\r\nBcc: c@elsewhere.test");
  message.SetCc("cc@example.test\rBcc: d@elsewhere.test");
  message.SetSubject(std::string("Hello\r\nBcc: e@elsewhere.test\0", 29));
  message.SetBody("Line one\r\nLine two");
  ASSERT_TRUE(message.AddAttachment(attachment.c_str(), nullptr, false));

  MimeFile file(directory / "m.eml");
  WriteHeaderBlock(file, message, "Date: Sun, 6 Dec 2026 13:00:00 +0000");
  WriteTextPart(file, message);
  WriteAttachmentParts(file, message);
  file.Close();
  std::string composed = ReadFile(directory / "m.eml");
  const std::regex messageId("Message-ID: <[0-9a-f]+\\.[0-9a-f]+\\.[0-9a-f]+@elsewhere\\.test>\r\n");
  std::smatch found;
  ASSERT_TRUE(std::regex_search(composed, found, messageId));
  composed.erase(found.position(0), found.length(0));
  EXPECT_EQ(composed,
            "From: \"Pupil Bcc: Eve\" <pupil@example.test  Bcc: a@elsewhere.test>\r\n"
            "To: <tutor@example.test  Bcc: c@elsewhere.test>\r\n"
            "Cc: <cc@example.test Bcc: d@elsewhere.test>\r\n"
            "Subject: Hello  Bcc: e@elsewhere.test \r\n"
            "Date: Sun, 6 Dec 2026 13:00:00 +0000\r\n"
            "MIME-Version: 1.0\r\n"
            "Content-Type: multipart/mixed;\r\n"
            "\tboundary=\"-Quorvel_Mime_Delimiter\"\r\n"
            "X-Priority: 3\r\n"
            "X-MSMail-Priority: Normal\r\n"
            "X-Mailer: Quorvel Mailer 1.0\r\n"
            "\r\n"
            "This is a multi-part message in MIME format.\r\n"
            " \r\n"
            "---Quorvel_Mime_Delimiter\r\n"
            "Content-Type: text/plain;\r\n"
            "\tcharset=\"iso-8859-1\"\r\n"
            "Content-Transfer-Encoding: 8bit\r\n"
            "\r\n"
            "Line one\r\nLine two\r\n"
            "\r\n"
            "---Quorvel_Mime_Delimiter\r\n"
            "Content-Type: application/octet-stream;\r\n"
            "\tname=\"a  Content-Type: text.txt\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment;\r\n"
            "\tfilename=\"a  Content-Type: text.txt\"\r\n"
            "\r\n"
            "TWFu\r\n"
            "\r\n"
            "---Quorvel_Mime_Delimiter--\r\n");
}

}  // namespace
}  // namespace quorvel
