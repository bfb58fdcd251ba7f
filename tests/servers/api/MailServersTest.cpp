// Mail through libquorvel.so and the run's Postfix and Dovecot (ports and Maildirs from the file
// that CTest names in QUORVEL_SERVERS_STATE; skipped without it). "receiver", "secure",
// "unverified" and "oauthapi" are these tests' own mailboxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "RandomBytes.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;

std::vector<uint32_t> errorIds;  // the arguments of event 13, host thread only
void RecordErrors(uint32_t event, uint32_t argument) {
  if (event == 13) errorIds.push_back(argument);
}

std::vector<std::string> renewals;  // the users the token callback was asked for
uint32_t GoodToken(const char* user, char* token, uint32_t capacity, uint32_t userValue) {
  renewals.push_back(user);
  EXPECT_EQ(userValue, 7u);
  return static_cast<uint32_t>(("token-" + std::string(user)).copy(token, capacity));
}

// How a host thread reaches the servers. Security 0 is clear text, 1 STARTTLS (STLS), 2 implicit
// TLS on the servers' TLS ports; without `setsSecurity` the host never calls the security
// setters. The password is the user's name unless given; the host is the certificate's name.
struct Connection {
  const char* name;
  uint32_t smtpTls = 1, popTls = 1;
  const char* user = "secure";
  bool setsSecurity = true;
  const char* password = nullptr;
  std::string host = "";
  bool withCa = true, verify = true;
};

class RealServers : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("QUORVEL_SERVERS_STATE");
    std::ifstream in(path == nullptr ? "" : path);
    for (std::string line; std::getline(in, line);) {
      const size_t equals = line.find('=');
      if (equals != std::string::npos) state[line.substr(0, equals)] = line.substr(equals + 1);
    }
    if (state["QUORVEL_SMTP_PORT"].empty()) GTEST_SKIP() << "no mail servers in this run";
  }
  uint16_t Port(const std::string& plain, const std::string& implicit, uint32_t tls) {
    const std::string key = "QUORVEL_" + (tls == 2 ? implicit : plain) + "_PORT";
    return static_cast<uint16_t>(std::stoi(state[key]));
  }
  std::string Address(const std::string& user) { return user + "@" + state["QUORVEL_MAIL_DOMAIN"]; }
  // A text no other message of the run contains, for subjects.
  static std::string Token() {
    std::random_device seed;
    return "token-" + std::to_string(seed()) + std::to_string(seed());
  }
  // The stored messages of `user` that contain `marker`, once `count` have arrived (delivery is
  // asynchronous; the 60 s bound only ends a wait for a message that never comes).
  std::vector<std::string> WaitForMessages(const std::string& user, const std::string& marker,
                                           size_t count = 1) {
    std::vector<std::string> found;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (found.size() < count && std::chrono::steady_clock::now() < deadline) {
      found.clear();
      for (const char* folder : {"/new", "/cur"}) {
        std::error_code error;
        const std::string directory = state["QUORVEL_MAILDIR_ROOT"] + "/" + user + folder;
        for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
          std::string content = ReadFile(entry.path().string());
          if (content.find(marker) != std::string::npos) found.push_back(std::move(content));
        }
      }
      if (found.size() < count) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return found;
  }
  // Runs `body` on a host thread whose context reaches the servers as `c` says, its log files in
  // `logs`, its error events in errorIds.
  void OnHostThread(const Connection& c, const std::function<void()>& body) {
    errorIds.clear();
    const char* password = c.password != nullptr ? c.password : c.user;
    const std::string host = c.host.empty() ? state["QUORVEL_TLS_HOST"] : c.host;
    const uint16_t smtp = Port("SMTP", "SMTPS", c.smtpTls), pop = Port("POP", "POP3S", c.popTls);
    const char* ca = c.withCa ? state["QUORVEL_TLS_CA"].c_str() : nullptr;
    std::thread([&] {
      CxThreadObjects table;
      auto log = std::make_unique<ThreadLogObject>();
      log->logDirectory = logs.path();
      log->filePrefix = "host";
      log->keepCount = 2;
      table.Add(1, std::move(log));
      MailsInitializexLogFile(&table);
      ASSERT_NE(MTAddNew(nullptr), 0);
      const CodedText name(1252, WideString(u"Pupil P"));
      ASSERT_TRUE(MailsUseSMTP_POP(host.c_str(), pop, c.user, password, host.c_str(), smtp, &name,
                                   compose.path().c_str(), 0));
      ASSERT_TRUE(MailsSetReceptionDirectory(reception.path().c_str()));
      MailsSetCallback(RecordErrors);
      if (c.setsSecurity) {
        ASSERT_TRUE(MailsSetSmtpSecurity(c.smtpTls, c.user, password, nullptr));
        ASSERT_TRUE(MailsSetPopSecurity(c.popTls, 0));
        ASSERT_TRUE(MailsSetTlsTrust(ca, c.verify));
      }
      body();
      MTRemove();
      MailsInitializexLogFile(nullptr);
    }).join();
  }
  MailData Mail(const std::string& subject, const std::string& user = "secure") {
    MailData mail;
    mail.codePage = 65001;  // the texts of a POSIX host
    mail.from = Address("pupil");
    mail.AddTo(Address(user));
    mail.SetSubject(subject);
    mail.SetMessage("line one\r\n.hidden\r\nline three");
    return mail;
  }
  std::string Log() {
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(logs.path())) {
      all += ReadFile(entry.path().string());
    }
    return all;
  }

  std::map<std::string, std::string> state;  // the state file's KEY=VALUE lines
  TempDirectory files, compose, reception, logs;
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
  for (const Connection& connection :
       {Connection{"clear text", 0, 0, "receiver", false}, Connection{"STARTTLS and STLS"},
        Connection{"implicit TLS", 2, 2}}) {
    SCOPED_TRACE(connection.name);
    const std::string token = Token();
    MailData mail = Mail(token, connection.user);
    mail.attachmentNames = {files / "empty.bin", files / "Übung é.txt", files / "big.bin"};
    mail.attachmentFiles = {"", "", ""};
    MailDataList received, again, loaded;
    OnHostThread(connection, [&] {
      ASSERT_TRUE(MailsSendMailFromMailData(&mail)) << MailsGetLastErrorCode();
      ASSERT_FALSE(WaitForMessages(connection.user, token).empty());
      ASSERT_TRUE(MailsReceiveMails(&received)) << MailsGetLastErrorCode();
      EXPECT_EQ(MailsGetLastErrorCode(), 0);
      ASSERT_TRUE(MailsReceiveMails(&again));
      ASSERT_TRUE(MailsGetMails(&loaded));
      MailsForbidConnection();
      EXPECT_FALSE(MailsReceiveMails(&again));
      EXPECT_EQ(MailsGetLastErrorCode(), 6);
      MailsAuthorizeConnection();
    });
    EXPECT_TRUE(errorIds.empty());
    EXPECT_EQ(Find(again, token), nullptr) << "deleted on the server";
    for (const MailData* record : {Find(received, token), Find(loaded, token)}) {
      ASSERT_NE(record, nullptr);
      EXPECT_EQ(record->from, Address("pupil"));
      EXPECT_EQ(record->to, StringList{Address(connection.user)});
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

TEST_F(RealServers, RefusalsAreClearAndTheLogHoldsNoCredential) {
  const struct {
    Connection connection;
    uint32_t smtpErrorId;
    const char* logged;
  } cases[] = {
      {{"wrong password", 1, 1, "secure", true, "not-the-password-7"}, 17, nullptr},
      {{"certificate for another name", 1, 1, "secure", true, nullptr, "127.0.0.1"}, 15,
       "address mismatch"},
      {{"unknown CA", 1, 1, "secure", true, nullptr, "", false}, 15, "unable to get local issuer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.connection.name);
    MailData mail = Mail(Token());
    OnHostThread(c.connection, [&] {
      EXPECT_FALSE(MailsSendMailFromMailData(&mail));
      EXPECT_EQ(MailsGetLastErrorCode(), 5);
    });
    EXPECT_EQ(errorIds, std::vector<uint32_t>{c.smtpErrorId});
    if (c.logged != nullptr) {
      EXPECT_NE(Log().find(c.logged), std::string::npos) << Log();
    }
  }
  // The POP security set without allowing clear text: the plain port never sees the password.
  MailDataList none, received;
  OnHostThread({"clear POP", 0, 0, "secure", true, nullptr, "", false},
               [&] { EXPECT_FALSE(MailsReceiveMails(&none)); });
  // Verification off: the same certificate for another name is accepted. A mailbox of its
  // own: the delivery test, which CTest may run meanwhile, empties "secure" as it receives.
  const std::string token = Token();
  MailData mail = Mail(token, "unverified");
  OnHostThread({"insecure", 1, 1, "unverified", true, nullptr, "127.0.0.1", false, false}, [&] {
    EXPECT_TRUE(MailsSendMailFromMailData(&mail)) << MailsGetLastErrorCode();
    ASSERT_FALSE(WaitForMessages("unverified", token).empty());
    EXPECT_TRUE(MailsReceiveMails(&received));
  });
  EXPECT_NE(Find(received, token), nullptr);
  const std::string log = Log();
  EXPECT_NE(log.find("127.0.0.1: certificate not verified (verification is off)"),
            std::string::npos);
  for (const char* secret : {"not-the-password-7", "AHNlY3VyZQBub3QtdGhlLXBhc3N3b3JkLTc="}) {
    EXPECT_EQ(log.find(secret), std::string::npos) << secret;
  }
}

// An expired OAuth 2 token is refused (SMTP error identifier 17, POP error 17, the server's
// explanation logged) and takes nothing; the host's callback renews it once per connection kind.
TEST_F(RealServers, AnExpiredTokenTakesNothingACallbackRenewsItOnce) {
  renewals.clear();
  const auto onOAuthThread = [&](bool renew, const std::function<void()>& body) {
    OnHostThread({"OAuth", 1, 2, "oauthapi", false, "not-the-password"}, [&] {
      ASSERT_TRUE(MailsSetSmtpSecurity(1, "oauthapi", nullptr, "expired-oauthapi"));
      ASSERT_TRUE(MailsSetPopSecurity(2, 0));
      ASSERT_TRUE(MailsSetPopOAuthToken("expired-oauthapi"));
      ASSERT_TRUE(MailsSetOAuthTokenCallback(renew ? GoodToken : nullptr, 7));
      ASSERT_TRUE(MailsSetTlsTrust(state["QUORVEL_TLS_CA"].c_str(), 1));
      body();
    });
  };
  const std::string subject = Token();
  MailData first = Mail(subject + "-1", "oauthapi"), second = Mail(subject + "-2", "oauthapi");
  MailData refused = Mail("refused-" + subject, "oauthapi");
  MailDataList none, received;
  onOAuthThread(true, [&] {
    EXPECT_TRUE(MailsSendMailFromMailData(&first)) << MailsGetLastErrorCode();
    EXPECT_TRUE(MailsSendMailFromMailData(&second)) << MailsGetLastErrorCode();
  });
  EXPECT_EQ(renewals, std::vector<std::string>{"oauthapi"}) << "the later mail takes the new one";
  EXPECT_TRUE(errorIds.empty());
  ASSERT_EQ(WaitForMessages("oauthapi", subject, 2).size(), 2u);
  onOAuthThread(false, [&] {
    EXPECT_FALSE(MailsSendMailFromMailData(&refused));
    EXPECT_EQ(MailsGetLastErrorCode(), 5);
    EXPECT_FALSE(MailsReceiveMails(&none));
    EXPECT_EQ(MailsGetLastErrorCode(), 6);
  });
  EXPECT_EQ(errorIds, (std::vector<uint32_t>{17, 17}));
  EXPECT_EQ(none.Size(), 0u);
  const std::string log = Log();
  for (const std::string server : {"SMTP", "POP"}) {
    EXPECT_NE(log.find(server + " server " + state["QUORVEL_TLS_HOST"] +
                       " refused the OAuth 2 token: {\"status\":\"invalid_token\"}"),
              std::string::npos)
        << log;
  }
  EXPECT_EQ(log.find("expired-oauthapi"), std::string::npos) << "a token in the log";
  onOAuthThread(true, [&] {
    EXPECT_TRUE(MailsReceiveMails(&received)) << MailsGetLastErrorCode();
  });
  EXPECT_EQ(renewals, (std::vector<std::string>{"oauthapi", "oauthapi"})) << "once for POP";
  EXPECT_TRUE(errorIds.empty());
  std::vector<std::string> subjects;
  for (uint32_t i = 0; i < received.Size(); ++i) subjects.push_back(received[i].subject);
  std::sort(subjects.begin(), subjects.end());
  EXPECT_EQ(subjects, (std::vector<std::string>{subject + "-1", subject + "-2"}))
      << "the expired token took nothing, the refused mail never went";
}

}  // namespace
