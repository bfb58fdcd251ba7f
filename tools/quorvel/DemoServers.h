// The test Postfix and Dovecot for quorvel demo --servers, started with
// scripts/mailservers.sh into the demo's own directory and stopped again
// when the object goes.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel::tool {

class DemoServers {
 public:
  DemoServers() = default;
  DemoServers(const DemoServers&) = delete;
  DemoServers& operator=(const DemoServers&) = delete;
  ~DemoServers() { Stop(); }

  // Starts both servers, keeping their state file and log in `directory`.
  // False (with the script's output on standard error) when they did not.
  bool Start(const std::string& directory);
  void Stop();

  std::string Address(const std::string& user) const { return user + "@" + domain_; }
  uint16_t smtpPort() const { return smtpPort_; }
  uint16_t popPort() const { return popPort_; }
  // The CA of the servers' certificate and the one name it carries.
  const std::string& tlsCa() const { return tlsCa_; }
  const std::string& tlsHost() const { return tlsHost_; }
  // Waits until Postfix has delivered at least `count` messages to `user`
  // that are still waiting in its mailbox (delivery is asynchronous), 30 s
  // at most.
  bool AwaitDelivery(const std::string& user, size_t count) const;

 private:
  std::string script_;
  std::string state_;
  std::string domain_;
  std::string maildirRoot_;
  std::string tlsCa_;
  std::string tlsHost_;
  uint16_t smtpPort_ = 0;
  uint16_t popPort_ = 0;
};

}  // namespace quorvel::tool
