// Mail through libquorvel.so and the test run's Postfix and Dovecot: a mail
// with attachments goes out in clear, over STARTTLS or implicit TLS with
// AUTH and comes back over POP, STLS or POP3S whole, field by field and byte
// by byte, and leaves the server; a reception directory that cannot be
// written leaves it there. A wrong password, a certificate for another name
// and one from an unknown CA are refused, verification turned off accepts
// it and the log says so, and no credential ever reaches the log. "receiver"
// and "secure" are these tests' own mailboxes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
  const char* user = "secure";  // the password is the user's name
  bool setsSecurity = true;     // else the host never calls the security setters
};

class RealServers : public ServerHost {
 protected:
  // Runs `body` on a host thread whose context reaches the servers at
  // `host` with the given modes and trust.
  void OnTlsThread(const std::string& host, const Connection& connection, const char* password,
                   const char* caFile, bool verify, const std::function<void()>& body) {
    smtpErrorIds.clear();
    const auto secured = [&] {
      if (connection.setsSecurity) {
        ASSERT_TRUE(MailsSetSmtpSecurity(connection.smtpTls, connection.user, password, nullptr));
        ASSERT_TRUE(MailsSetPopSecurity(connection.popTls, 0));
        ASSERT_TRUE(MailsSetTlsTrust(caFile, verify));
      }
      MailsSetCallback(RecordErrors);
      body();
    };
    OnHostThread(host, connection.implicitPorts ? servers.smtpsPort : servers.smtpPort,
                 connection.implicitPorts ? servers.pop3sPort : servers.popPort, connection.user,
                 password, secured);
  }
  MailData Mail(const std::string& token, const std::string& user = "secure") {
    MailData mail;
    mail.codePage = 65001;  // the texts of a POSIX host
    mail.from = servers.Address("pupil");
    mail.AddTo(servers.Address(user));
    mail.SetSubject(token);
    mail.SetMessage("line one\r\n.hidden\r\nline three");
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

TEST_F(RealServers, EveryModeDeliversWhatWasSentWholeAndItLeavesTheServer) {
  const std::string big = RandomBytes(5 * 1024 * 1024, 12345);
  const std::string accented = "accents àé\r\n.line with a dot\r\n";
  WriteFile(files / "empty.bin", "");
  WriteFile(files / "Übung é.txt", accented);
  WriteFile(files / "big.bin", big);
  for (const Connection& connection : {Connection{"clear text", 0, 0, false, "receiver", false},
                                       Connection{"STARTTLS and STLS", 1, 1, false},
                                       Connection{"implicit TLS", 2, 2, true}}) {
    SCOPED_TRACE(connection.name);
    const std::string token = MailServers::Token();
    MailData mail = Mail(token, connection.user);
    mail.attachmentNames = {files / "empty.bin", files / "Übung é.txt", files / "big.bin"};
    mail.attachmentFiles = {"", "", ""};
    MailDataList received, again, loaded;
    OnTlsThread(servers.tlsHost, connection, connection.user, servers.tlsCa.c_str(), true, [&] {
      ASSERT_TRUE(MailsSendMailFromMailData(&mail)) << MailsGetLastErrorCode();
      ASSERT_TRUE(servers.WaitForMessage(connection.user, token));
      ASSERT_TRUE(MailsReceiveMails(&received)) << MailsGetLastErrorCode();
      EXPECT_EQ(MailsGetLastErrorCode(), 0);
      ASSERT_TRUE(MailsReceiveMails(&again));
      ASSERT_TRUE(MailsGetMails(&loaded));
      MailsForbidConnection();
      EXPECT_FALSE(MailsReceiveMails(&again));
      EXPECT_EQ(MailsGetLastErrorCode(), 6);
      MailsAuthorizeConnection();
    });
    EXPECT_TRUE(smtpErrorIds.empty());
    EXPECT_EQ(Find(again, token), nullptr) << "deleted on the server";
    for (const MailData* record : {Find(received, token), Find(loaded, token)}) {
      ASSERT_NE(record, nullptr);
      EXPECT_EQ(record->from, servers.Address("pupil"));
      EXPECT_EQ(record->to, StringList{servers.Address(connection.user)});
      EXPECT_EQ(record->message, "line one\r\n.hidden\r\nline three");
      EXPECT_EQ(record->codePage, 65001);
      ASSERT_EQ(record->attachmentNames, (StringList{"empty.bin", "Übung é.txt", "big.bin"}));
      ASSERT_EQ(record->attachmentFiles.size(), 3u);
      EXPECT_EQ(ReadFile(record->attachmentFiles[0]), "");
      EXPECT_EQ(ReadFile(record->attachmentFiles[1]), accented);
      EXPECT_TRUE(ReadFile(record->attachmentFiles[2]) == big) << "5 MB attachment differs";
    }
  }
}

// Its own mailbox: a message it leaves would reach another test's receive.
TEST_F(RealServers, AnUnwritableReceptionDirectoryLeavesTheMessageOnTheServer) {
  std::filesystem::permissions(reception.path(), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec);
  if (std::ofstream(reception / "probe")) {
    std::filesystem::permissions(reception.path(), std::filesystem::perms::owner_all);
    GTEST_SKIP() << "the permissions do not bind this user (root)";
  }
  const std::string token = MailServers::Token();
  MailData mail = Mail(token, "fetcher");
  MailDataList none, later;
  const auto fetcher = [&](const std::function<void()>& body) {
    OnHostThread("127.0.0.1", servers.smtpPort, servers.popPort, "fetcher", "fetcher", body);
  };
  fetcher([&] { ASSERT_TRUE(MailsSendMailFromMailData(&mail)); });
  ASSERT_TRUE(servers.WaitForMessage("fetcher", token));
  fetcher([&] {
    EXPECT_TRUE(MailsReceiveMails(&none));
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
  });
  std::filesystem::permissions(reception.path(), std::filesystem::perms::owner_all);
  EXPECT_EQ(none.Size(), 0u);
  EXPECT_TRUE(std::filesystem::is_empty(reception.path()));
  fetcher([&] { EXPECT_TRUE(MailsReceiveMails(&later)); });
  EXPECT_NE(Find(later, token), nullptr) << "still on the server";
}

TEST_F(RealServers, RefusalsAreClearAndTheLogHoldsNoCredential) {
  struct Case {
    const char* name;
    std::string host;
    const char* password;
    bool withCa;
    uint32_t smtpErrorId;
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
