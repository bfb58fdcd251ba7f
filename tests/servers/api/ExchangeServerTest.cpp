// The exchange end to end over the test run's Postfix and Dovecot, through
// libquorvel.so: kind-1 routes deliver each item as a mail attachment, POP
// accounts bring it in. The users "exchange-pupil" and "exchange-tutor"
// belong to this test alone, so no other test's mail reaches its mailboxes.
#include "ExchangeStory.h"
#include "MailServers.h"

namespace {

using namespace quorvel::testing;

class MailServerTransport : public ExchangeTransport {
 public:
  explicit MailServerTransport(MailServers servers) : servers_(std::move(servers)) {}
  std::string Route(const std::string& fromUser, const std::string& toUser) const override {
    return "1|" + servers_.Address(toUser) + "|127.0.0.1|" + std::to_string(servers_.smtpPort) +
           "|" + servers_.Address(fromUser) + "|1252|" + fromUser;
  }
  void RegisterInbound(const std::string& user) const override {
    TessalyAddProtocolPopIn("127.0.0.1", servers_.popPort, user.c_str(), user.c_str());
  }
  void AwaitDelivery(const std::string& user) const override {
    EXPECT_TRUE(servers_.WaitForMessage(user, "")) << "nothing delivered to " << user;
  }

 private:
  MailServers servers_;
};

TEST(ExchangeServer, PupilToTutorToPupilOverPostfixAndDovecot) {
  const auto servers = MailServers::FromEnvironment();
  if (!servers) GTEST_SKIP() << "no mail servers in this run (QUORVEL_SERVERS_STATE)";
  const MailServerTransport transport(*servers);
  ExchangeStory(transport, "exchange-pupil", "exchange-tutor").Run();
}

}  // namespace
