// The SMTP greeting with transport security against scripted servers: the
// bytes of EHLO, STARTTLS and each AUTH mechanism, the refusals (no STARTTLS
// offered, no credentials in clear, a refused password or token), and a
// real TLS handshake that stalls, abandoned by the time-out and by a cancel.
#include <gtest/gtest.h>

#include "ScriptedServer.h"
#include "ScriptedSmtp.h"
#include "protocol/SmtpAuthentication.h"
#include "protocol/SmtpClient.h"
#include "platform/Sockets.h"
#include "platform/Threads.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// Takes StartTls for done without encrypting, so that the scripted server
// reads the dialogue after it.
class PretendTlsSocket : public platform::TimeoutSocket {
 public:
  bool StartTls(const platform::TlsOptions& options, std::string&) override {
    given = options;
    secured = receives == 0 ? 'i' : 'u';  // implicit: before the greeting
    return true;
  }
  bool IsSecure() const override { return secured != 0 && IsOpen(); }
  int Receive(void* buffer, int capacity) override {
    ++receives;
    return TimeoutSocket::Receive(buffer, capacity);
  }
  char secured = 0;
  int receives = 0;
  platform::TlsOptions given;
};

// Greets, answers each line the client sends with the next reply, then
// serves transactions until QUIT.
ScriptedServer::Script Replying(std::vector<std::string> replies) {
  return [replies](ServerSide& side) {
    side.Send("220 ready\r\n");
    for (const std::string& reply : replies) {
      if (!side.ReadLine()) return;
      side.Send(reply);
    }
    ServeSmtpTransactions(side);
  };
}

TEST(SmtpSecurity, DialogueOfEveryModeAndMechanism) {
  const std::string ehlo = "EHLO " + platform::LocalHostName() + "\r\n";
  const std::string offer = "250-mail\r\n250 STARTTLS\r\n";
  struct Case {
    const char* name;
    uint32_t tls;
    const char* token;  // null: no credentials at all
    std::vector<std::string> replies;
    std::string expected;  // what the client sends
    uint32_t errorId;      // 0: connected
    char secured;
  };
  const Case cases[] = {
      {"STARTTLS, then PLAIN", kTlsUpgrade, "",
       {offer, "220 go\r\n", "250-mail\r\n250 AUTH LOGIN PLAIN\r\n", "235 ok\r\n"},
       ehlo + "STARTTLS\r\n" + ehlo + "AUTH PLAIN AHB1cGlsAHNlY3JldA==\r\nQUIT\r\n", 0, 'u'},
      {"implicit, LOGIN only", kTlsImplicit, "",
       {"250-mail\r\n250 auth login\r\n", "334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n",
        "235 ok\r\n"},
       ehlo + "AUTH LOGIN\r\ncHVwaWw=\r\nc2VjcmV0\r\nQUIT\r\n", 0, 'i'},
      {"XOAUTH2 with the host's token", kTlsImplicit, "ya29.tok",
       {"250-mail\r\n250 AUTH XOAUTH2\r\n", "235 ok\r\n"},
       ehlo + "AUTH XOAUTH2 dXNlcj1wdXBpbAFhdXRoPUJlYXJlciB5YTI5LnRvawEB\r\nQUIT\r\n", 0, 'i'},
      {"refused token", kTlsImplicit, "ya29.tok",
       {"250-mail\r\n250 AUTH XOAUTH2\r\n", "334 eyJzdGF0dXMiOiI0MDEifQ==\r\n", "535 no\r\n"},
       ehlo + "AUTH XOAUTH2 dXNlcj1wdXBpbAFhdXRoPUJlYXJlciB5YTI5LnRvawEB\r\n\r\n", 17, 'i'},
      {"no mechanism for the token", kTlsImplicit, "ya29.tok",
       {"250-mail\r\n250 AUTH PLAIN LOGIN\r\n"}, ehlo, 17, 'i'},
      {"no STARTTLS offered: nothing more in clear", kTlsUpgrade, "",
       {"250-mail\r\n250 AUTH PLAIN\r\n"}, ehlo, 16, 0},
      {"STARTTLS refused", kTlsUpgrade, "", {offer, "454 not now\r\n"},
       ehlo + "STARTTLS\r\n", 15, 0},
      {"credentials never in clear", kTlsNone, "", {"250-mail\r\n250 AUTH PLAIN\r\n"}, ehlo, 17,
       0},
      {"wrong password", kTlsImplicit, "", {"250-mail\r\n250 AUTH PLAIN\r\n", "535 5.7.8 bad\r\n"},
       ehlo + "AUTH PLAIN AHB1cGlsAHNlY3JldA==\r\n", 17, 'i'},
      {"no mechanism in common", kTlsImplicit, "", {"250-mail\r\n250 AUTH CRAM-MD5\r\n"}, ehlo, 17, 'i'},
      {"EHLO refused", kTlsImplicit, "", {"502 no\r\n"}, ehlo, 6, 'i'},
      {"TLS without credentials sends no AUTH", kTlsUpgrade, nullptr,
       {offer, "220 go\r\n", "250 AUTH PLAIN\r\n"}, ehlo + "STARTTLS\r\n" + ehlo + "QUIT\r\n", 0, 'u'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server(Replying(c.replies));
    auto socket = std::make_unique<PretendTlsSocket>();
    PretendTlsSocket& seen = *socket;
    {
      SmtpClient client(nullptr, nullptr, nullptr);
      TransportSecurity security;
      security.smtpTls = c.tls;
      if (c.token != nullptr) {
        security.smtpUser = "pupil";
        security.smtpPassword = "secret";
        security.smtpOAuthToken = c.token;
      }
      security.caFile = "/school/ca.pem";
      client.SetSecurity(security);
      client.UseSocket(std::move(socket));
      EXPECT_EQ(client.Connect("127.0.0.1", server.port()), c.errorId == 0);
      EXPECT_EQ(client.lastErrorId(), c.errorId);
      EXPECT_EQ(seen.secured, c.secured);
      if (c.secured != 0) {
        EXPECT_EQ(std::tie(seen.given.hostName, seen.given.caFile, seen.given.verify),
                  std::make_tuple("127.0.0.1", "/school/ca.pem", true));
      }
    }
    EXPECT_EQ(server.transcript(), c.expected);
  }
}

uint32_t RenewedToken(const char* user, char* token, uint32_t capacity, uint32_t) {
  EXPECT_STREQ(user, "pupil");
  return static_cast<uint32_t>(std::string("ya29.new").copy(token, capacity));
}

TEST(SmtpSecurity, ARefusedTokenIsRenewedOnce) {
  const std::string ehlo = "EHLO " + platform::LocalHostName() + "\r\n";
  const std::string first = "AUTH XOAUTH2 dXNlcj1wdXBpbAFhdXRoPUJlYXJlciB5YTI5LnRvawEB\r\n";
  const std::string renewed = "AUTH XOAUTH2 dXNlcj1wdXBpbAFhdXRoPUJlYXJlciB5YTI5Lm5ldwEB\r\n";
  for (const bool acceptedAgain : {true, false}) {
    ScriptedServer server(Replying({"250-mail\r\n250 AUTH XOAUTH2\r\n", "535 expired\r\n",
                                    acceptedAgain ? "235 ok\r\n" : "535 still\r\n"}));
    {
      SmtpClient client(nullptr, nullptr, nullptr);
      TransportSecurity security;
      security.smtpTls = kTlsImplicit;
      security.smtpUser = "pupil";
      security.smtpOAuthToken = "ya29.tok";
      security.tokenCallback = RenewedToken;
      client.SetSecurity(security);
      client.UseSocket(std::make_unique<PretendTlsSocket>());
      EXPECT_EQ(client.Connect("127.0.0.1", server.port()), acceptedAgain);
      EXPECT_EQ(client.lastErrorId(), acceptedAgain ? 0u : 17u);
    }
    EXPECT_EQ(server.transcript(), ehlo + first + renewed + (acceptedAgain ? "QUIT\r\n" : ""));
  }
}

TEST(SmtpSecurity, EhloExtensionsAreReadFromEveryLine) {
  const std::string reply = "250-mail.example\r\n250-SIZE 100\r\n250-Auth plain Login\r\n250 STARTTLS\r\n";
  EXPECT_EQ(EhloExtension(reply, "AUTH"), "PLAIN LOGIN");
  EXPECT_EQ(EhloExtension(reply, "starttls"), "");
  EXPECT_EQ(EhloExtension(reply, "SIZ"), std::nullopt);
  EXPECT_EQ(EhloExtension("250 mail\n", "MAIL"), std::nullopt) << "the first line names the host";
  EXPECT_TRUE(HasWord("PLAIN LOGIN", "LOGIN"));
  EXPECT_FALSE(HasWord("PLAINX LOGIN", "PLAIN"));
  EXPECT_FALSE(HasWord("", "PLAIN"));
  // RFC 7628 with a user holding the two characters a saslname escapes.
  EXPECT_EQ(OAuthBearerResponse("a=b,c", "h", 1, "t"),
            "bixhPWE9M0RiPTJDYywBaG9zdD1oAXBvcnQ9MQFhdXRoPUJlYXJlciB0AQE=");
  EXPECT_EQ(OAuthMechanism("PLAIN XOAUTH2 OAUTHBEARER", "XOAUTH2"), "XOAUTH2");
  EXPECT_EQ(OAuthMechanism("PLAIN OAUTHBEARER", "XOAUTH2"), "");
  EXPECT_EQ(OAuthMechanism("XOAUTH2", ""), "XOAUTH2");
}

// A server that takes the connection and the client's first handshake
// bytes, and never answers.
struct StallingTlsServer {
  explicit StallingTlsServer(std::function<void()> onHello)
      : server([onHello](ServerSide& side) {
          if (side.ReadUntil("\x16\x03")) onHello();  // a TLS record: the client hello
          side.WaitForClose();
        }) {}
  ScriptedServer server;
};

TEST(SmtpSecurity, AStalledHandshakeEndsByTheTimeoutOrAtOnceByACancel) {
  for (const bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancel" : "time-out");
    const uint32_t client = platform::CurrentThreadId();
    StallingTlsServer stalling([&] {
      if (cancel) platform::PostSocketCancel(client);
    });
    SmtpClient smtp(nullptr, nullptr, nullptr);
    TransportSecurity security;
    security.smtpTls = kTlsImplicit;
    smtp.SetSecurity(security);
    // The cancel case would wait 90 s, and fail the test's own time limit,
    // if the cancel did not end the handshake.
    smtp.SetTimeout(cancel ? 90000 : 200);
    EXPECT_FALSE(smtp.Connect("127.0.0.1", stalling.server.port()));
    EXPECT_EQ(smtp.lastErrorId(), kSmtpTlsFailed);
    EXPECT_NE(smtp.tlsFailure().find("abandoned"), std::string::npos) << smtp.tlsFailure();
  }
}

}  // namespace
}  // namespace quorvel
