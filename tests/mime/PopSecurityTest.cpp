// The POP3 login with transport security: STLS before USER, TLS from the
// first byte, no downgrade when STLS is refused, and no password in clear
// unless the host allowed it.
#include <gtest/gtest.h>

#include "ScriptedPop.h"
#include "mime/PopClient.h"

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
  const Case cases[] = {
      {"STLS", kTlsUpgrade, true, false, {ok, {"+OK begin\r\n"}, ok, ok},
       "STLS\r\nUSER u\r\nPASS p\r\nQUIT\r\n", 0, true},
      {"implicit", kTlsImplicit, true, false, {ok, ok, ok}, "USER u\r\nPASS p\r\nQUIT\r\n", 0, true},
      {"STLS refused: no downgrade", kTlsUpgrade, true, true, {ok, {"-ERR no\r\n"}}, "STLS\r\n",
       kPopTlsNotOffered, false},
      {"clear text not allowed", kTlsNone, true, false, {ok}, "", kPopClearTextRefused, false},
      {"clear text allowed", kTlsNone, true, true, {ok, ok, ok}, "USER u\r\nPASS p\r\nQUIT\r\n", 0,
       false},
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

}  // namespace
}  // namespace quorvel
