// Transport security through libquorvel.so against the test run's Postfix
// and Dovecot: a mail with an attachment goes out over STARTTLS or implicit
// TLS with AUTH and comes back over STLS or POP3S intact; a wrong password,
// a certificate for another name and one from an unknown CA are refused,
// verification turned off accepts it and the log says so, and no
// credential ever reaches the log. "secure" is these tests' own mailbox.
#include <gtest/gtest.h>

#include <vector>

#include "RandomBytes.h"
#include "ServerHost.h"

namespace {

using namespace quorvel::testing;

std::vector<uint32_t> smtpErrorIds;  // the arguments of event 13, host thread only
void RecordErrors(uint32_t event, uint32_t argument) {
  if (event == 13) smtpErrorIds.push_back(argument);
}

struct Connection {
  const char* name;
  uint32_t smtpTls;
  uint32_t popTls;
  bool implicitPorts;
};

class TlsServer : public ServerHost {
 protected:
  // Runs `body` on a host thread whose context reaches the servers at
  // `host` with the given modes and trust.
  void OnTlsThread(const std::string& host, const Connection& connection, const char* password,
                   const char* caFile, bool verify, const std::function<void()>& body) {
    smtpErrorIds.clear();
    const auto secured = [&] {
      ASSERT_TRUE(MailsSetSmtpSecurity(connection.smtpTls, "secure", password, nullptr));
      ASSERT_TRUE(MailsSetPopSecurity(connection.popTls, 0));
      ASSERT_TRUE(MailsSetTlsTrust(caFile, verify));
      MailsSetCallback(RecordErrors);
      body();
    };
    OnHostThread(host, connection.implicitPorts ? servers.smtpsPort : servers.smtpPort,
                 connection.implicitPorts ? servers.pop3sPort : servers.popPort, "secure",
                 password, secured);
  }
  MailData Mail(const std::string& token) {
    MailData mail;
    mail.from = servers.Address("secure");
    mail.AddTo(servers.Address("secure"));
    mail.SetSubject(token);
    mail.SetMessage("over TLS");
    return mail;
  }
};

// The mail of `token` among those received (a failed run may have left others).
const MailData* Find(const MailDataList& mails, const std::string& token) {
  for (uint32_t i = 0; i < mails.Size(); ++i) {
    if (mails[i].subject == token) return &mails[i];
  }
  return nullptr;
}

TEST_F(TlsServer, EveryModeDeliversAndFetchesTheAttachmentIntact) {
  const std::string lesson = RandomBytes(300000, 7);
  WriteFile(files / "lesson.bin", lesson);
  for (const Connection& connection : {Connection{"STARTTLS and STLS", 1, 1, false},
                                       Connection{"implicit TLS", 2, 2, true}}) {
    SCOPED_TRACE(connection.name);
    const std::string token = MailServers::Token();
    MailData mail = Mail(token);
    mail.attachmentNames = {files / "lesson.bin"};
    mail.attachmentFiles = {""};
    MailDataList received;
    OnTlsThread(servers.tlsHost, connection, "secure", servers.tlsCa.c_str(), true, [&] {
      ASSERT_TRUE(MailsSendMailFromMailData(&mail)) << MailsGetLastErrorCode();
      ASSERT_TRUE(servers.WaitForMessage("secure", token));
      ASSERT_TRUE(MailsReceiveMails(&received)) << MailsGetLastErrorCode();
    });
    EXPECT_TRUE(smtpErrorIds.empty());
    const MailData* sent = Find(received, token);
    ASSERT_NE(sent, nullptr);
    ASSERT_EQ(sent->attachmentFiles.size(), 1u);
    EXPECT_TRUE(ReadFile(sent->attachmentFiles[0]) == lesson) << "attachment differs";
  }
}

TEST_F(TlsServer, RefusalsAreClearAndTheLogHoldsNoCredential) {
  struct Case {
    const char* name;
    std::string host;
    const char* password;
    bool withCa;
    uint32_t smtpErrorId;  // 0: delivered
    const char* logged;
  };
  const Case cases[] = {
      {"wrong password", servers.tlsHost, "not-the-password-7", true, 17, nullptr},
      {"certificate for another name", "127.0.0.1", "secure", true, 15, "address mismatch"},
      {"unknown CA", servers.tlsHost, "secure", false, 15, "unable to get local issuer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MailData mail = Mail(MailServers::Token());
    OnTlsThread(c.host, {"STARTTLS", 1, 1, false}, c.password,
                 c.withCa ? servers.tlsCa.c_str() : nullptr, true, [&] {
                   EXPECT_FALSE(MailsSendMailFromMailData(&mail));
                   EXPECT_EQ(MailsGetLastErrorCode(), 5);
                 });
    EXPECT_EQ(smtpErrorIds, std::vector<uint32_t>{c.smtpErrorId});
    if (c.logged != nullptr) {
      EXPECT_NE(Log().find(c.logged), std::string::npos) << Log();
    }
  }
  // A host that set the POP security without allowing clear text: the plain
  // Dovecot port never sees the password.
  MailDataList none;
  OnTlsThread(servers.tlsHost, {"clear POP", 0, 0, false}, "secure", nullptr, true, [&] {
    EXPECT_FALSE(MailsReceiveMails(&none));
  });
  // Verification off: the same certificate for another name is accepted.
  const std::string token = MailServers::Token();
  MailData mail = Mail(token);
  MailDataList received;
  OnTlsThread("127.0.0.1", {"insecure", 1, 1, false}, "secure", nullptr, false, [&] {
    EXPECT_TRUE(MailsSendMailFromMailData(&mail)) << MailsGetLastErrorCode();
    ASSERT_TRUE(servers.WaitForMessage("secure", token));
    EXPECT_TRUE(MailsReceiveMails(&received));
  });
  EXPECT_NE(Find(received, token), nullptr);
  const std::string log = Log();
  EXPECT_NE(log.find("127.0.0.1: certificate not verified (verification is off)"), std::string::npos);
  for (const char* secret : {"not-the-password-7", "AHNlY3VyZQBub3QtdGhlLXBhc3N3b3JkLTc="}) {
    EXPECT_EQ(log.find(secret), std::string::npos) << secret;
  }
}

}  // namespace
