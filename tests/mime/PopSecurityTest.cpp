// The POP3 login with transport security: STLS before USER, TLS from the
// first byte, no downgrade when STLS is refused, and no password in clear
// unless the host allowed it; then SASL (RFC 5034) as CAPA offers it, with
// the password or an OAuth 2 token (RFC 7628, XOAUTH2).
#include <gtest/gtest.h>

#include "ScriptedPop.h"
#include "protocol/PopClient.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

class PretendTlsTurnSocket : public TurnSocket {
 public:
  using TurnSocket::TurnSocket;
  bool StartTls(const platform::TlsOptions& options, std::string&) override {
    host = options.hostName;
    return secured = true;
  }
  bool IsSecure() const override { return secured && IsOpen(); }
  bool secured = false;
  std::string host;
};

TEST(PopSecurity, LoginOnlyOverTlsUnlessAllowed) {
  struct Case {
    const char* name;
    uint32_t tls;
    bool securitySet;
    bool clearAllowed;
    std::vector<TurnSocket::Reply> replies;
    std::string expected;  // what the client sends
    uint32_t error;        // 0: logged in
    bool secured;
  };
  const TurnSocket::Reply ok = {"+OK\r\n"};
  const TurnSocket::Reply noCapa = {"-ERR unknown command\r\n"};
  const Case cases[] = {
      {"STLS", kTlsUpgrade, true, false, {ok, {"+OK begin\r\n"}, noCapa, ok, ok},
       "STLS\r\nCAPA\r\nUSER u\r\nPASS p\r\nQUIT\r\n", 0, true},
      {"implicit", kTlsImplicit, true, false, {ok, noCapa, ok, ok},
       "CAPA\r\nUSER u\r\nPASS p\r\nQUIT\r\n", 0, true},
      {"STLS refused: no downgrade", kTlsUpgrade, true, true, {ok, {"-ERR no\r\n"}}, "STLS\r\n",
       kPopTlsNotOffered, false},
      {"clear text not allowed", kTlsNone, true, false, {ok}, "", kPopClearTextRefused, false},
      {"clear text allowed", kTlsNone, true, true, {ok, noCapa, ok, ok},
       "CAPA\r\nUSER u\r\nPASS p\r\nQUIT\r\n", 0, false},
      {"security never set", kTlsNone, false, false, {ok, ok, ok}, "USER u\r\nPASS p\r\nQUIT\r\n",
       0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string sent;
    auto socket = std::make_unique<PretendTlsTurnSocket>(c.replies, &sent);
    PretendTlsTurnSocket& seen = *socket;
    {
      PopClient client(nullptr);
      TransportSecurity security;
      security.popTls = c.tls;
      security.popSecuritySet = c.securitySet;
      security.popClearTextAllowed = c.clearAllowed;
      client.SetSecurity(security);
      client.UseSocket(std::move(socket));
      EXPECT_EQ(client.Connect("pop.school.example", 995, "u", "p"), c.error == 0);
      EXPECT_EQ(client.lastError(), c.error);
      EXPECT_EQ(seen.secured, c.secured);
      if (c.secured) {
        EXPECT_EQ(seen.host, "pop.school.example");
      }
    }
    EXPECT_EQ(sent, c.expected);
  }
}

std::vector<std::string> askedFor;  // the users the token callback was asked for
uint32_t NewToken(const char* user, char* token, uint32_t capacity, uint32_t userValue) {
  askedFor.push_back(user);
  const std::string tokens[] = {"", "ya29.new", "ya29.tok", std::string(capacity, 'x'), ""};
  const std::string& given = tokens[userValue];
  given.copy(token, capacity);
  return static_cast<uint32_t>(given.size());
}

TEST(PopSecurity, SaslAsTheCapabilitiesOffer) {
  struct Case {
    const char* name;
    uint32_t tls;
    const char* token;   // null: the password
    uint32_t renewal;    // 0: no callback; else the callback's user value (NewToken)
    std::vector<TurnSocket::Reply> replies;  // after the greeting
    std::string expected;                    // what the client sends
    uint32_t error;
    bool asked = false;  // the callback was asked
  };
  const std::string bearer =
      "AUTH OAUTHBEARER "
      "bixhPXUsAWhvc3Q9cG9wLnNjaG9vbC5leGFtcGxlAXBvcnQ9OTk1AWF1dGg9QmVhcmVyIHlhMjkudG9rAQE=\r\n";
  const std::string renewedBearer =
      "AUTH OAUTHBEARER "
      "bixhPXUsAWhvc3Q9cG9wLnNjaG9vbC5leGFtcGxlAXBvcnQ9OTk1AWF1dGg9QmVhcmVyIHlhMjkubmV3AQE=\r\n";
  const std::string xoauth2 = "AUTH XOAUTH2 dXNlcj11AWF1dGg9QmVhcmVyIHlhMjkudG9rAQE=\r\n";
  const TurnSocket::Reply both = {"+OK\r\nTOP\r\nsasl plain xoauth2 OAUTHBEARER\r\nUSER\r\n.\r\n"};
  const TurnSocket::Reply plainOnly = {"+OK capabilities\r\n", "SASL PLAIN\r\n.", "\r\n"};
  const TurnSocket::Reply xoauth2Only = {"+OK\r\nSASL XOAUTH2\r\n.\r\n"};
  const TurnSocket::Reply ok = {"+OK\r\n"};
  const TurnSocket::Reply no = {"-ERR [AUTH] Authentication failed.\r\n"};
  const TurnSocket::Reply challenge = {"+ eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIn0=\r\n"};
  const Case cases[] = {
      {"PLAIN offered", kTlsImplicit, nullptr, 0, {plainOnly, ok, ok},
       "CAPA\r\nAUTH PLAIN AHUAcA==\r\nQUIT\r\n", 0},
      {"PLAIN refused", kTlsImplicit, nullptr, 0, {both, no}, "CAPA\r\nAUTH PLAIN AHUAcA==\r\n",
       kPopPasswordRefused},
      {"no SASL line: USER/PASS", kTlsImplicit, nullptr, 0, {{"+OK\r\nUSER\r\n.\r\n"}, ok, ok, ok},
       "CAPA\r\nUSER u\r\nPASS p\r\nQUIT\r\n", 0},
      {"OAUTHBEARER before XOAUTH2", kTlsImplicit, "ya29.tok", 0, {both, ok, ok},
       "CAPA\r\n" + bearer + "QUIT\r\n", 0},
      {"XOAUTH2 when alone", kTlsImplicit, "ya29.tok", 0, {xoauth2Only, ok, ok},
       "CAPA\r\n" + xoauth2 + "QUIT\r\n", 0},
      {"refused at once", kTlsImplicit, "ya29.tok", 0, {both, no}, "CAPA\r\n" + bearer,
       kPopTokenRefused},
      {"refusal explained: OAUTHBEARER answers 0x01", kTlsImplicit, "ya29.tok", 0,
       {both, challenge, no}, "CAPA\r\n" + bearer + "AQ==\r\n", kPopTokenRefused},
      {"refusal explained: XOAUTH2 answers nothing", kTlsImplicit, "ya29.tok", 0,
       {xoauth2Only, challenge, no}, "CAPA\r\n" + xoauth2 + "\r\n", kPopTokenRefused},
      {"no mechanism for the token", kTlsImplicit, "ya29.tok", 0, {plainOnly}, "CAPA\r\n",
       kPopNoTokenMechanism},
      {"CAPA unknown: no mechanism", kTlsImplicit, "ya29.tok", 0, {{"-ERR what\r\n"}}, "CAPA\r\n",
       kPopNoTokenMechanism},
      {"the token never in clear", kTlsNone, "ya29.tok", 0, {both}, "", kPopClearTextRefused},
      {"server gone during AUTH", kTlsImplicit, "ya29.tok", 1, {both}, "CAPA\r\n" + bearer,
       kPopServerClosed},
      {"renewed token tried once", kTlsImplicit, "ya29.tok", 1, {both, no, ok, ok},
       "CAPA\r\n" + bearer + renewedBearer + "QUIT\r\n", 0, true},
      {"renewed token refused too", kTlsImplicit, "ya29.tok", 1, {both, no, no},
       "CAPA\r\n" + bearer + renewedBearer, kPopTokenRefused, true},
      {"the refused token again", kTlsImplicit, "ya29.tok", 2, {both, no}, "CAPA\r\n" + bearer,
       kPopTokenRefused, true},
      {"no token from the callback", kTlsImplicit, "ya29.tok", 4, {both, no}, "CAPA\r\n" + bearer,
       kPopTokenRefused, true},
      {"a token too long for the callback's room", kTlsImplicit, "ya29.tok", 3, {both, no},
       "CAPA\r\n" + bearer, kPopTokenRefused, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string sent;
    std::vector<TurnSocket::Reply> replies = {{"+OK ready\r\n"}};
    replies.insert(replies.end(), c.replies.begin(), c.replies.end());
    auto socket = std::make_unique<PretendTlsTurnSocket>(replies, &sent);
    askedFor.clear();
    {
      PopClient client(nullptr);
      TransportSecurity security;
      security.popTls = c.tls;
      security.popSecuritySet = true;
      security.popClearTextAllowed = true;
      if (c.token != nullptr) security.popOAuthToken = c.token;
      if (c.renewal != 0) {
        security.tokenCallback = NewToken;
        security.tokenUserValue = c.renewal;
      }
      client.SetSecurity(security);
      client.UseSocket(std::move(socket));
      EXPECT_EQ(client.Connect("pop.school.example", 995, "u", "p"), c.error == 0);
      EXPECT_EQ(client.lastError(), c.error);
    }
    EXPECT_EQ(sent, c.expected);
    EXPECT_EQ(askedFor.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(askedFor[0], "u");
    }
  }
}

// The AUTH command line with its initial response is 255 bytes at most.
std::string SentWithToken(size_t tokenLength, std::vector<TurnSocket::Reply> replies) {
  std::string sent;
  auto socket = std::make_unique<PretendTlsTurnSocket>(replies, &sent);
  PopClient client(nullptr);
  TransportSecurity security;
  security.popTls = kTlsImplicit;
  security.popOAuthToken = std::string(tokenLength, 'L');
  client.SetSecurity(security);
  client.UseSocket(std::move(socket));
  EXPECT_TRUE(client.Connect("h", 1, "u", "p"));
  client.Quit();
  return sent;
}

TEST(PopSecurity, ALongResponseAnswersTheEmptyChallenge) {
  const TurnSocket::Reply ok = {"+OK\r\n"};
  const TurnSocket::Reply capa = {"+OK\r\nSASL OAUTHBEARER\r\n.\r\n"};
  // 142 bytes of token make a response of 236 characters: the line is 255.
  const std::string fits = SentWithToken(142, {ok, capa, ok, ok});
  EXPECT_EQ(fits.find("\r\n", 6), 6 + 255 - 2u) << fits;
  EXPECT_EQ(fits.compare(6, 22, "AUTH OAUTHBEARER bixhP"), 0) << fits;
  const std::string sent = SentWithToken(180, {ok, capa, {"+ \r\n"}, ok, ok});
  // "n,a=u,\1host=h\1port=1\1auth=Bearer " + 180 "L" + "\1\1" is 215 bytes, 288
  // in base64: too long to follow "AUTH OAUTHBEARER " on a line of 255.
  std::string response = "bixhPXUsAWhvc3Q9aAFwb3J0PTEBYXV0aD1CZWFyZXIg";
  for (int i = 0; i < 60; ++i) response += "TExM";  // "LLL"
  EXPECT_EQ(sent, "CAPA\r\nAUTH OAUTHBEARER\r\n" + response + "AQE=\r\nQUIT\r\n");
}

}  // namespace
}  // namespace quorvel
