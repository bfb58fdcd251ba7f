// Delivery to the real Postfix of this test run: what Postfix stores must be
// the composed file itself, dots included.
#include <gtest/gtest.h>


#include "LanguageSamples.h"
#include "MailServers.h"
#include "TempDirectory.h"
#include "protocol/SmtpClient.h"
#include "mail/DefaultSmtpSettings.h"
#include "message/MailMessage.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// The message as composed, without the values of its Date and Message-ID
// lines (each composition has its own).
std::string WithoutDateAndId(std::string message) {
  for (const std::string name : {"\r\nDate: ", "\r\nMessage-ID: "}) {
    const size_t value = message.find(name) + name.size();
    message.erase(value, message.find("\r\n", value) - value);
  }
  return message;
}

// Postfix prepends Return-Path, X-Original-To, Delivered-To and a Received
// header, and stores lines with LF alone: undo both.
std::string WithoutTraceAndWithCrLf(const std::string& stored) {
  const size_t from = stored.find("\nFrom: ");
  std::string message = from == std::string::npos ? stored : stored.substr(from + 1);
  std::string crlf;
  for (const char c : message) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
}

class DeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto found = MailServers::FromEnvironment();
    if (!found) GTEST_SKIP() << "no mail servers in this run (QUORVEL_SERVERS_STATE)";
    servers = *found;
    SetDefaultSmtpSettings("127.0.0.1", servers.Address("pupil").c_str(), servers.smtpPort,
                           "Pupil");
  }

  MailServers servers;
  TempDirectory directory;
  std::atomic<uint8_t> stop{0};
  std::atomic<uint8_t> suspend{0};
  std::atomic<int32_t> percent{0};
};

TEST_F(DeliveryTest, PostfixStoresExactlyTheComposedFileForRecipientAndCopy) {
  const std::string token = MailServers::Token();
  WriteFile(directory / "lesson.bin", std::string("\x00\x01.\r\n.x", 6) + std::string(5000, 'q'));
  MailMessage message(&stop, &suspend, &percent);
  message.SetRecipient(servers.Address("pupil"));
  message.SetCc(servers.Address("tutor").c_str());
  message.SetSubject(token);
  message.SetBody("Dots at line starts:\r\n.hidden\r\n.\r\n..two\r\nend");
  ASSERT_TRUE(message.AddAttachment((directory / "lesson.bin").c_str(), nullptr, false));
  ASSERT_TRUE(message.SendBySmtp(false, directory.path().c_str(), false));
  EXPECT_EQ(message.errorCode, 0u);

  const std::string composed = WithoutDateAndId(ReadFile(message.ComposeToFile(directory.path().c_str())));
  ASSERT_NE(composed.find("\r\n.hidden\r\n.\r\n..two\r\n"), std::string::npos);
  for (const char* user : {"pupil", "tutor"}) {
    const auto stored = servers.WaitForMessage(user, token);
    ASSERT_TRUE(stored) << "nothing arrived for " << user;
    // The end-of-data line's own CR LF ends one more, empty, line.
    EXPECT_EQ(WithoutDateAndId(WithoutTraceAndWithCrLf(*stored)), composed + "\r\n") << user;
  }
}

TEST_F(DeliveryTest, UnknownRecipientFailsWithError7AndPostfixsReply) {
  MailMessage message(&stop, &suspend, &percent);
  message.SetRecipient(servers.Address("nobody"));
  message.SetBody("lost");
  EXPECT_FALSE(message.SendBySmtp(false, directory.path().c_str(), false));
  EXPECT_EQ(message.errorCode, 7u);
  EXPECT_TRUE(message.serverReply.starts_with("550 5.1.1 <" + servers.Address("nobody") +
                                              ">: Recipient address rejected"))
      << message.serverReply;
}

TEST_F(DeliveryTest, EveryLanguageArrivesAsItWasWritten) {
  for (const LanguageSample& sample : kLanguageSamples) {
    TempDirectory texts;
    LanguageSample marked = sample;
    const std::string token = MailServers::Token();  // finds the message in the Maildir
    marked.body += token + "\r\n";
    WriteSampleFiles(texts, marked);
    MailMessage message(&stop, &suspend, &percent);
    message.SetSender(nullptr, 0, servers.Address("pupil").c_str(), sample.senderName.c_str());
    message.SetRecipient(servers.Address("tutor"));
    message.CharsetForCodePage(65001);
    message.SetSubject(marked.subject);
    message.SetBody(marked.body);
    ASSERT_TRUE(message.AddAttachment(marked.attachmentName.c_str(),
                                      (texts / "attachment.bin").c_str(), false));
    ASSERT_TRUE(message.SendBySmtp(false, nullptr, false)) << sample.language;
    const auto stored = servers.WaitForMessage("tutor", token);
    ASSERT_TRUE(stored) << sample.language << " did not arrive";
    WriteFile(texts / "stored.eml", *stored);
    EXPECT_TRUE(PythonReadsTheSample(texts, texts / "stored.eml", false)) << sample.language;
  }
}

}  // namespace
}  // namespace quorvel
