// Transport security through libquorvel.so against the test run's Postfix
// and Dovecot: a mail with an attachment goes out over STARTTLS or implicit
// TLS with AUTH and comes back over STLS or POP3S intact; a wrong password,
// a certificate for another name and one from an unknown CA are refused,
// verification turned off accepts it and the log says so, and no
// credential ever reaches the log. "secure" is these tests' own mailbox.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "MailServers.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

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

class TlsServer : public ::testing::Test {
 protected:
  void SetUp() override {
    auto found = MailServers::FromEnvironment();
    if (!found) GTEST_SKIP() << "no mail servers in this run (QUORVEL_SERVERS_STATE)";
    servers = *found;
    smtpErrorIds.clear();
  }
  // Runs `body` on a host thread whose context reaches the servers at
  // `host` with the given modes and trust, logging into `logs`.
  template <typename Body>
  void OnHostThread(const std::string& host, const Connection& connection, const char* password,
                    const char* caFile, bool verify, Body body) {
    std::thread([&] {
      CxThreadObjects table;
      auto log = std::make_unique<ThreadLogObject>();
      log->logDirectory = logs.path() + "/";
      log->filePrefix = "tls";
      log->keepCount = 2;
      table.Add(1, std::move(log));
      MailsInitializexLogFile(&table);
      ASSERT_NE(MTAddNew(nullptr), 0);
      const CodedText name(1252, WideString(u"Secure S"));
      const uint16_t smtpPort = connection.implicitPorts ? servers.smtpsPort : servers.smtpPort;
      const uint16_t popPort = connection.implicitPorts ? servers.pop3sPort : servers.popPort;
      ASSERT_TRUE(MailsUseSMTP_POP(host.c_str(), popPort, "secure", password, host.c_str(),
                                   smtpPort, &name, compose.path().c_str(), 0));
      ASSERT_TRUE(MailsSetReceptionDirectory(reception.path().c_str()));
      ASSERT_TRUE(MailsSetSmtpSecurity(connection.smtpTls, "secure", password, nullptr));
      ASSERT_TRUE(MailsSetPopSecurity(connection.popTls, 0));
      ASSERT_TRUE(MailsSetTlsTrust(caFile, verify));
      MailsSetCallback(RecordErrors);
      body();
      MTRemove();
      MailsInitializexLogFile(nullptr);
    }).join();
  }
  MailData Mail(const std::string& token) {
    MailData mail;
    mail.from = servers.Address("secure");
    mail.AddTo(servers.Address("secure"));
    mail.SetSubject(token);
    mail.SetMessage("over TLS");
    return mail;
  }
  std::string Log() {
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(logs.path())) {
      all += ReadFile(entry.path().string());
    }
    return all;
  }

  MailServers servers;
  TempDirectory files, compose, reception, logs;
};

// The mail of `token` among those received (a failed run may have left others).
const MailData* Find(const MailDataList& mails, const std::string& token) {
  for (uint32_t i = 0; i < mails.Size(); ++i) {
    if (mails[i].subject == token) return &mails[i];
  }
  return nullptr;
}

std::string Token() {
  std::random_device seed;
  return "tls-" + std::to_string(seed()) + std::to_string(seed());
}

TEST_F(TlsServer, EveryModeDeliversAndFetchesTheAttachmentIntact) {
  std::string lesson(300000, '\0');
  for (size_t i = 0; i < lesson.size(); ++i) lesson[i] = static_cast<char>(i * 7 + i / 251);
  WriteFile(files / "lesson.bin", lesson);
  for (const Connection& connection : {Connection{"STARTTLS and STLS", 1, 1, false},
                                       Connection{"implicit TLS", 2, 2, true}}) {
    SCOPED_TRACE(connection.name);
    const std::string token = Token();
    MailData mail = Mail(token);
    mail.attachmentNames = {files / "lesson.bin"};
    mail.attachmentFiles = {""};
    MailDataList received;
    OnHostThread(servers.tlsHost, connection, "secure", servers.tlsCa.c_str(), true, [&] {
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
    smtpErrorIds.clear();
    MailData mail = Mail(Token());
    OnHostThread(c.host, {"STARTTLS", 1, 1, false}, c.password,
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
  OnHostThread(servers.tlsHost, {"clear POP", 0, 0, false}, "secure", nullptr, true, [&] {
    EXPECT_FALSE(MailsReceiveMails(&none));
  });
  // Verification off: the same certificate for another name is accepted.
  const std::string token = Token();
  MailData mail = Mail(token);
  MailDataList received;
  OnHostThread("127.0.0.1", {"insecure", 1, 1, false}, "secure", nullptr, false, [&] {
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
