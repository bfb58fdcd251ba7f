// OAuth 2 logins checked by the run's Dovecot and Postfix, whose SASL asks
// the identity provider's stand-in: both mechanisms take a good token and
// refuse an expired or unknown one with the client's own error. Logging in
// and out changes no mailbox, so the shared "pupil" serves.
#include <gtest/gtest.h>

#include "MailServers.h"
#include "protocol/SmtpClient.h"
#include "protocol/PopClient.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

TEST(OAuthLogin, BothMechanismsTakeAGoodTokenAndRefuseOthers) {
  const auto servers = MailServers::FromEnvironment();
  if (!servers) GTEST_SKIP() << "no mail servers in this run (QUORVEL_SERVERS_STATE)";
  struct Case {
    const char* token;
    uint32_t popError;   // 0: logged in
    uint32_t smtpError;  // 0: logged in
  };
  const Case cases[] = {
      {"token-pupil", kPopNoError, kSmtpNoError},
      {"expired-pupil", kPopTokenRefused, kSmtpAuthenticationFailed},
      {"never-given", kPopTokenRefused, kSmtpAuthenticationFailed},
      {"token-tutor", kPopTokenRefused, kSmtpAuthenticationFailed},  // another user's
  };
  for (const char* mechanism : {"OAUTHBEARER", "XOAUTH2"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(mechanism) + " with " + c.token);
      TransportSecurity security;
      security.caFile = servers->tlsCa;
      security.oauthMechanism = mechanism;
      security.popTls = kTlsImplicit;
      security.popOAuthToken = c.token;
      PopClient pop(nullptr);
      pop.SetSecurity(security);
      EXPECT_EQ(pop.Connect(servers->tlsHost.c_str(), servers->pop3sPort, "pupil", ""),
                c.popError == kPopNoError);
      EXPECT_EQ(pop.lastError(), c.popError);
      pop.Quit();

      security.smtpTls = kTlsUpgrade;
      security.smtpUser = "pupil";
      security.smtpOAuthToken = c.token;
      SmtpClient smtp(nullptr, nullptr, nullptr);
      smtp.SetSecurity(security);
      EXPECT_EQ(smtp.Connect(servers->tlsHost, servers->smtpPort), c.smtpError == kSmtpNoError);
      EXPECT_EQ(smtp.lastErrorId(), c.smtpError);
    }
  }
}

}  // namespace
}  // namespace quorvel
