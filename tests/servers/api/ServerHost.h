// The fixture of the server tests, which go through libquorvel.so: the
// Postfix and Dovecot that scripts/mailservers.sh started for the test run
// (their ports and Maildirs, read from the state file that CTest names in
// QUORVEL_SERVERS_STATE; skipped without them), a poll for delivered
// messages, unique tokens that tell one test's messages from another's, and
// a host thread of the library whose log files go to `logs`, read back whole
// by Log().
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TempDirectory.h"
#include "quorvel/quorvel.h"

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
    const auto port = [&](const char* key) {
      return static_cast<uint16_t>(std::stoi(values[key]));
    };
    return MailServers{port("QUORVEL_SMTP_PORT"), port("QUORVEL_POP_PORT"),
                       port("QUORVEL_SMTPS_PORT"), port("QUORVEL_POP3S_PORT"),
                       values["QUORVEL_TLS_CA"], values["QUORVEL_TLS_HOST"],
                       values["QUORVEL_MAIL_DOMAIN"], values["QUORVEL_MAILDIR_ROOT"]};
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
  bool WaitForMessage(const std::string& user, const std::string& marker) const {
    return !WaitForMessages(user, marker, 1).empty();
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

class ServerHost : public ::testing::Test {
 protected:
  void SetUp() override {
    auto found = MailServers::FromEnvironment();
    if (!found) GTEST_SKIP() << "no mail servers in this run (QUORVEL_SERVERS_STATE)";
    servers = *found;
  }
  // `body` runs with a context that reaches the servers as `user` with
  // `password` at `host` (SMTP on `smtpPort`, POP on `popPort`).
  void OnHostThread(const std::string& host, uint16_t smtpPort, uint16_t popPort,
                    const char* user, const char* password, const std::function<void()>& body) {
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
      ASSERT_TRUE(MailsUseSMTP_POP(host.c_str(), popPort, user, password, host.c_str(), smtpPort,
                                   &name, compose.path().c_str(), 0));
      ASSERT_TRUE(MailsSetReceptionDirectory(reception.path().c_str()));
      body();
      MTRemove();
      MailsInitializexLogFile(nullptr);
    }).join();
  }
  std::string Log() {
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(logs.path())) {
      all += ReadFile(entry.path().string());
    }
    return all;
  }

  MailServers servers;
  TempDirectory files, compose, reception, logs;
};

}  // namespace quorvel::testing
