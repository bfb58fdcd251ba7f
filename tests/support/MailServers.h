// The Postfix and Dovecot that scripts/mailservers.sh started for the test
// run: their ports and Maildirs, read from the state file that CTest names in
// QUORVEL_SERVERS_STATE, a poll for delivered messages, and the unique
// tokens that tell one test's messages from another's.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TempDirectory.h"

namespace quorvel::testing {

class MailServers {
 public:
  // Empty when no servers were started for this run.
  static std::optional<MailServers> FromEnvironment() {
    const char* path = std::getenv("QUORVEL_SERVERS_STATE");
    if (path == nullptr) return std::nullopt;
    std::ifstream in(path);
    std::map<std::string, std::string> values;
    for (std::string line; std::getline(in, line);) {
      const size_t equals = line.find('=');
      if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    if (values["QUORVEL_SMTP_PORT"].empty()) return std::nullopt;
    MailServers servers;
    servers.smtpPort = static_cast<uint16_t>(std::stoi(values["QUORVEL_SMTP_PORT"]));
    servers.popPort = static_cast<uint16_t>(std::stoi(values["QUORVEL_POP_PORT"]));
    servers.smtpsPort = static_cast<uint16_t>(std::stoi(values["QUORVEL_SMTPS_PORT"]));
    servers.pop3sPort = static_cast<uint16_t>(std::stoi(values["QUORVEL_POP3S_PORT"]));
    servers.tlsCa = values["QUORVEL_TLS_CA"];
    servers.tlsHost = values["QUORVEL_TLS_HOST"];
    servers.domain = values["QUORVEL_MAIL_DOMAIN"];
    servers.maildirRoot = values["QUORVEL_MAILDIR_ROOT"];
    return servers;
  }

  std::string Address(const std::string& user) const { return user + "@" + domain; }

  // A text no other message of the run contains, for subjects and bodies.
  static std::string Token() {
    std::random_device seed;
    return "token-" + std::to_string(seed()) + std::to_string(seed());
  }

  // The stored messages of `user` that contain `marker`, once `count` have
  // arrived: polled every 10 ms (delivery is asynchronous). The 60 s bound
  // only ends a wait for a message that never comes; a loaded machine
  // delivering slowly still passes.
  std::vector<std::string> WaitForMessages(const std::string& user, const std::string& marker,
                                           size_t count) const {
    std::vector<std::string> found;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (found.size() < count && std::chrono::steady_clock::now() < deadline) {
      found.clear();
      for (const char* folder : {"new", "cur"}) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(
                 maildirRoot + "/" + user + "/" + folder, error)) {
          std::string content = ReadFile(entry.path().string());
          if (content.find(marker) != std::string::npos) found.push_back(std::move(content));
        }
      }
      if (found.size() < count) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return found;
  }
  std::optional<std::string> WaitForMessage(const std::string& user,
                                            const std::string& marker) const {
    std::vector<std::string> found = WaitForMessages(user, marker, 1);
    if (found.empty()) return std::nullopt;
    return std::move(found.front());
  }

  uint16_t smtpPort = 0;
  uint16_t popPort = 0;
  uint16_t smtpsPort = 0;  // implicit TLS
  uint16_t pop3sPort = 0;
  std::string tlsCa;    // the CA of the servers' certificate
  std::string tlsHost;  // the one name the certificate carries
  std::string domain;
  std::string maildirRoot;
};

}  // namespace quorvel::testing
