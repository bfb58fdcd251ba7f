// The fixture of the server tests that go through libquorvel.so: the run's
// servers (skipped without them), and a host thread of the library whose log
// files go to `logs`, read back whole by Log().
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "MailServers.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace quorvel::testing {

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
