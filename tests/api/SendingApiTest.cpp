// The sending path's exports through libquorvel.so, without a mail server:
// the codes a host sees on a machine without MAPI or Notes and for null
// arguments (where mails are stored is the send functions' own test), SMTP
// settings discovery, the posted cancel of a blocked call, and the transport
// security setters: without a context they answer 1 and change nothing; a
// TLS mode above 2 is refused; each resets the last error code. Their effect
// on deliveries and receives is tested against the real servers
// (tests/servers/api). OpenSSL is loaded on the first TLS connection only
// (a process where it cannot be loaded: tests/api/openssl-missing).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "OnHostThread.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;

TEST(SendFunctionsApi, CodesAndFallBacks) {
  TempDirectory out, queue;
  MailData mail;
  mail.AddTo("tutor@example.test");
  std::thread([&] { EXPECT_FALSE(MailsSendMailFromMailData(&mail)) << "no context"; }).join();
  OnHostThread([&] {
    ASSERT_TRUE(MailsSetOutDirectory(out.path().c_str()));
    EXPECT_FALSE(MailsSendMailFromMailData(&mail));
    EXPECT_EQ(MailsGetLastErrorCode(), 0x8001) << "no protocol";
    const std::pair<bool (*)(), int32_t> transports[] = {{MailsUseMAPI, 10}, {MailsUseNOTES, 11}};
    for (const auto& [use, error] : transports) {
      use();
      WriteFile(queue / "mail.mes", "#To : tutor@example.test\r\n");
      EXPECT_FALSE(MailsSendMailFromFile((queue / "mail.mes").c_str()));
      EXPECT_EQ(MailsGetLastErrorCode(), error);
    }
    EXPECT_TRUE(MailsSendMails(out.path().c_str()));
    EXPECT_EQ(MailsGetLastErrorCode(), 11);
    EXPECT_FALSE(MailsSendMailFromMailData(nullptr));
    EXPECT_EQ(MailsGetLastErrorCode(), 32774);
    EXPECT_FALSE(MailsSendMailFromFile(nullptr));
    EXPECT_EQ(MailsGetLastErrorCode(), 32773);
    EXPECT_FALSE(MailsGetMails(nullptr));
    EXPECT_EQ(MailsGetLastErrorCode(), 0) << "no code for a missing list; the last one goes";
    MailsSendMailFromMailData(nullptr);
    EXPECT_FALSE(MailsReceiveMails(nullptr));
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
  });
}

TEST(UserDefaultSmtpParams, WithoutConfiguredMailClientsNothingIsFound) {
  std::string host = "h", address = "a", name = "n";
  uint16_t port = 7;
  std::thread([&] {
    EXPECT_FALSE(TessalyGetUserDefaultSMTPParams(&host, &port, &address, &name)) << "no context";
  }).join();
  OnHostThread([&] {
    // This machine has no registry with mail clients: every probe fails.
    EXPECT_FALSE(TessalyGetUserDefaultSMTPParams(&host, &port, &address, &name));
    EXPECT_FALSE(TessalyGetUserDefaultSMTPParams(nullptr, nullptr, nullptr, nullptr));
  });
  EXPECT_EQ(host + address + name, "han");
  EXPECT_EQ(port, 7);
}

// The kernel id of the calling thread, as a POSIX host finds it.
uint32_t KernelThreadId() {
  std::ifstream status("/proc/thread-self/stat");
  uint32_t id = 0;
  status >> id;
  return id;
}

// Two threads held until the test ends them, one with a context.
TEST(CancelBlockingCall, PostsOnlyToThreadsWithAContext) {
  std::promise<uint32_t> ids[2];
  std::promise<void> finish;
  const std::shared_future<void> finished = finish.get_future().share();
  std::vector<std::thread> threads;
  for (const bool withContext : {true, false}) {
    threads.emplace_back([&, withContext] {
      if (withContext) MTAddNew(nullptr);
      ids[withContext].set_value(KernelThreadId());
      finished.wait_for(std::chrono::minutes(1));
      if (withContext) MTRemove();
    });
  }
  const uint32_t target = ids[true].get_future().get();
  EXPECT_TRUE(MailsCancelBlockingCall(target));
  EXPECT_TRUE(MailsCancelBlockingCall(target)) << "posting twice is allowed";
  EXPECT_FALSE(MailsCancelBlockingCall(ids[false].get_future().get()))
      << "a thread the library never saw";
  finish.set_value();
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(MailsCancelBlockingCall(target)) << "its context is removed";
  EXPECT_FALSE(MailsCancelBlockingCall(0));
}

TEST(TransportSecurityApi, ModesAboveTwoAreRefusedAndTheLastErrorIsReset) {
  std::thread([] {
    EXPECT_TRUE(MailsSetSmtpSecurity(7, "u", "p", nullptr)) << "no context";
    EXPECT_TRUE(MailsSetPopSecurity(7, 0));
    EXPECT_TRUE(MailsSetTlsTrust(nullptr, 0));
  }).join();
  OnHostThread([] {
    const CodedText name;
    const auto failUse = [&] {
      EXPECT_FALSE(MailsUseSMTP_POP("h", 110, "u", "p", "h", 25, &name, "/no/such/dir", 0));
      EXPECT_EQ(MailsGetLastErrorCode(), 32770);
    };
    for (uint32_t mode = 0; mode <= 3; ++mode) {
      SCOPED_TRACE(mode);
      failUse();
      EXPECT_EQ(MailsSetSmtpSecurity(mode, "u", "p", nullptr), mode <= 2);
      EXPECT_EQ(MailsGetLastErrorCode(), 0);
      failUse();
      EXPECT_EQ(MailsSetPopSecurity(mode, 1), mode <= 2);
      EXPECT_EQ(MailsGetLastErrorCode(), 0);
    }
    failUse();
    EXPECT_TRUE(MailsSetTlsTrust("/etc/school-ca.pem", 1));
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
  });
}

// A host that works without TLS (a context, a receive over a plain
// connection) has neither libssl nor libcrypto mapped.
TEST(OpenSslOnFirstUse, WorkWithoutTlsLeavesLibsslAndLibcryptoUnloaded) {
  TempDirectory reception;
  OnHostThread([&] {
    const CodedText name;
    // Nothing listens on port 1: the plain connection is refused.
    ASSERT_TRUE(MailsUseSMTP_POP("127.0.0.1", 1, "u", "p", "127.0.0.1", 1, &name,
                                 reception.path().c_str(), 0));
    MailsSetReceptionDirectory(reception.path().c_str());
    MailDataList mails;
    EXPECT_FALSE(MailsReceiveMails(&mails));
  });
  std::ifstream maps("/proc/self/maps");  // the files this process has mapped
  const std::string mapped((std::istreambuf_iterator<char>(maps)),
                           std::istreambuf_iterator<char>());
  EXPECT_NE(mapped.find("/libquorvel.so"), std::string::npos) << mapped;
  EXPECT_EQ(mapped.find("/libssl.so"), std::string::npos) << mapped;
  EXPECT_EQ(mapped.find("/libcrypto.so"), std::string::npos) << mapped;
}

}  // namespace
