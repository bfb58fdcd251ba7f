// Delivery to the real Postfix of this test run: what Postfix stores must be
// the composed file itself, dots included.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quorvel
