// OAuth 2 through libquorvel.so against the run's Postfix and Dovecot: an
// expired token is refused with SMTP error identifier 17 and POP error 17,
// the server's explanation in the log and nothing taken from the server; the
// host's callback renews it once for the context's later connections.
// "oauthapi" is this test's own mailbox.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ServerHost.h"

namespace {

using namespace quorvel::testing;

std::vector<uint32_t> errorEvents;  // the arguments of event 13, host thread only
void RecordErrors(uint32_t event, uint32_t argument) {
  if (event == 13) errorEvents.push_back(argument);
}

std::vector<std::string> renewals;  // the users the callback was asked for
uint32_t GoodToken(const char* user, char* token, uint32_t capacity, uint32_t userValue) {
  renewals.push_back(user);
  const std::string given = "token-" + std::string(user);
  EXPECT_EQ(userValue, 7u);
  return static_cast<uint32_t>(given.copy(token, capacity));
}

class OAuthServer : public ServerHost {
 protected:
  // Runs `body` on a host thread whose context logs in as "oauthapi" with
  // `token` (STARTTLS for SMTP, POP3S), renewing through GoodToken when asked.
  void OnOAuthThread(const char* token, bool renew, const std::function<void()>& body) {
    const auto withToken = [&] {
      ASSERT_TRUE(MailsSetSmtpSecurity(1, "oauthapi", nullptr, token));
      ASSERT_TRUE(MailsSetPopSecurity(2, 0));
      ASSERT_TRUE(MailsSetPopOAuthToken(token));
      ASSERT_TRUE(MailsSetOAuthTokenCallback(renew ? GoodToken : nullptr, 7));
      ASSERT_TRUE(MailsSetTlsTrust(servers.tlsCa.c_str(), 1));
      MailsSetCallback(RecordErrors);
      body();
    };
    OnHostThread(servers.tlsHost, servers.smtpPort, servers.pop3sPort, "oauthapi",
                 "not-the-password", withToken);
  }
  MailData Mail(const std::string& subject) {
    MailData mail;
    mail.from = servers.Address("oauthapi");
    mail.AddTo(servers.Address("oauthapi"));
    mail.SetSubject(subject);
    mail.SetMessage("with a token");
    return mail;
  }
};

// One test, as the steps share the mailbox. (A good token alone is the demo's
// --oauth run.)
TEST_F(OAuthServer, AnExpiredTokenTakesNothingACallbackRenewsItOnce) {
  errorEvents.clear();
  renewals.clear();
  const std::string subject = MailServers::Token();
  MailData first = Mail(subject + "-1"), second = Mail(subject + "-2");
  MailData refused = Mail("refused-" + subject);
  MailDataList none, received;
  // The callback renews the expired token once; the later mail takes the new one.
  OnOAuthThread("expired-oauthapi", true, [&] {
    EXPECT_TRUE(MailsSendMailFromMailData(&first)) << MailsGetLastErrorCode();
    EXPECT_TRUE(MailsSendMailFromMailData(&second)) << MailsGetLastErrorCode();
  });
  EXPECT_EQ(renewals, std::vector<std::string>{"oauthapi"});
  ASSERT_EQ(servers.WaitForMessages("oauthapi", subject, 2).size(), 2u);
  OnOAuthThread("expired-oauthapi", false, [&] {
    EXPECT_FALSE(MailsSendMailFromMailData(&refused));
    EXPECT_EQ(MailsGetLastErrorCode(), 5);
    EXPECT_FALSE(MailsReceiveMails(&none));
    EXPECT_EQ(MailsGetLastErrorCode(), 6);
  });
  EXPECT_EQ(errorEvents, (std::vector<uint32_t>{17, 17}));
  EXPECT_EQ(none.Size(), 0u);
  const std::string log = Log();
  for (const char* server : {"SMTP", "POP"}) {
    const std::string explained = std::string(server) + " server " + servers.tlsHost +
                                  " refused the OAuth 2 token: {\"status\":\"invalid_token\"}";
    EXPECT_NE(log.find(explained), std::string::npos) << log;
  }
  EXPECT_EQ(log.find("expired-oauthapi"), std::string::npos) << "a token in the log";
  errorEvents.clear();
  OnOAuthThread("expired-oauthapi", true, [&] {
    EXPECT_TRUE(MailsReceiveMails(&received)) << MailsGetLastErrorCode();
  });
  EXPECT_EQ(renewals, (std::vector<std::string>{"oauthapi", "oauthapi"})) << "once for POP";
  EXPECT_TRUE(errorEvents.empty());
  std::vector<std::string> subjects;
  for (uint32_t i = 0; i < received.Size(); ++i) subjects.push_back(received[i].subject);
  std::sort(subjects.begin(), subjects.end());
  EXPECT_EQ(subjects, (std::vector<std::string>{subject + "-1", subject + "-2"}))
      << "the expired token took nothing, the refused mail never went";
}

}  // namespace
