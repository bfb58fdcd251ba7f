// The POP3 login with transport security: STLS before USER, TLS from the
// first byte, no downgrade when STLS is refused, and no password in clear
// unless the host allowed it; then SASL (RFC 5034) as CAPA offers it, with
// the password or an OAuth 2 token (RFC 7628, XOAUTH2), the initial
// response on the AUTH line while that line stays within 255 bytes.
#include <gtest/gtest.h>

#include "ScriptedPop.h"
#include "TextCases.h"
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

std::vector<std::string> askedFor;  // the users the token callback was asked for
uint32_t NewToken(const char* user, char* token, uint32_t capacity, uint32_t userValue) {
  askedFor.push_back(user);
  const std::string tokens[] = {"", "ya29.new", "ya29.tok", std::string(capacity, 'x'), ""};
  const std::string& given = tokens[userValue];
  given.copy(token, capacity);
  return static_cast<uint32_t>(given.size());
}

// The dialogues of tests/data/pop-dialogues/security.txt, with TLS started
// where the first command is STLS or from the first byte.
TEST(PopSecurity, TlsFirstThenSaslAsTheCapabilitiesOffer) {
  const std::map<std::string, uint32_t> modes = {
      {"none", kTlsNone}, {"upgrade", kTlsUpgrade}, {"implicit", kTlsImplicit}};
  for (const TextCase& d : TextCases("pop-dialogues/security")) {
    SCOPED_TRACE(d.name);
    const uint32_t error = d.Number("error");
    std::string sent;
    auto socket = std::make_unique<PretendTlsTurnSocket>(d.inputs, &sent);
    PretendTlsTurnSocket& seen = *socket;
    askedFor.clear();
    {
      PopClient client(nullptr);
      TransportSecurity security;
      security.popTls = modes.at(d.Get("tls"));
      security.popSecuritySet = d.Get("set") != "no";
      security.popClearTextAllowed = d.Get("clear") != "no";
      security.popOAuthToken = d.Get("token");
      if (!d.Get("renewal").empty()) {
        security.tokenCallback = NewToken;
        security.tokenUserValue = d.Number("renewal");
      }
      client.SetSecurity(security);
      client.UseSocket(std::move(socket));
      EXPECT_EQ(client.Connect("pop.school.example", 995, "u", "p"), error == kPopNoError);
      EXPECT_EQ(client.lastError(), error);
      const bool secured = d.sent.starts_with("STLS") ? error != kPopTlsNotOffered
                                                      : security.popTls == kTlsImplicit;
      EXPECT_EQ(seen.secured, secured);
      EXPECT_EQ(seen.host, secured ? "pop.school.example" : "");
    }
    EXPECT_EQ(sent, d.sent);
    EXPECT_EQ(askedFor, d.Get("asked") == "yes" ? std::vector<std::string>{"u"}
                                                : std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace quorvel
