// The sending path's exports through libquorvel.so: SMTP settings discovery,
// the posted cancel of a blocked call, and the transport security setters:
// without a context they answer 1 and change nothing; a TLS mode above 2 is
// refused; each resets the last error code. Their effect on deliveries and
// receives is tested against the real servers (tests/servers/api).
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "quorvel/quorvel.h"

namespace {

// The kernel id of the calling thread, as a POSIX host finds it.
uint32_t KernelThreadId() {
  std::ifstream status("/proc/thread-self/stat");
  uint32_t id = 0;
  status >> id;
  return id;
}

TEST(UserDefaultSmtpParams, WithoutConfiguredMailClientsNothingIsFound) {
  std::thread([] {
    std::string host = "h", address = "a", name = "n";
    uint16_t port = 7;
    EXPECT_FALSE(TessalyGetUserDefaultSMTPParams(&host, &port, &address, &name)) << "no context";
    ASSERT_NE(MTAddNew(nullptr), 0);
    // This machine has no registry with mail clients: every probe fails.
    EXPECT_FALSE(TessalyGetUserDefaultSMTPParams(&host, &port, &address, &name));
    EXPECT_EQ(host + address + name, "han");
    EXPECT_EQ(port, 7);
    EXPECT_FALSE(TessalyGetUserDefaultSMTPParams(nullptr, nullptr, nullptr, nullptr));
    MTRemove();
  }).join();
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
    ASSERT_NE(MTAddNew(nullptr), 0);
    const CodedText name;
    for (uint32_t mode = 0; mode <= 3; ++mode) {
      SCOPED_TRACE(mode);
      EXPECT_FALSE(MailsUseSMTP_POP("h", 110, "u", "p", "h", 25, &name, "/no/such/dir", 0));
      EXPECT_EQ(MailsGetLastErrorCode(), 32770);
      EXPECT_EQ(MailsSetSmtpSecurity(mode, "u", "p", nullptr), mode <= 2);
      EXPECT_EQ(MailsGetLastErrorCode(), 0);
      EXPECT_FALSE(MailsUseSMTP_POP("h", 110, "u", "p", "h", 25, &name, "/no/such/dir", 0));
      EXPECT_EQ(MailsSetPopSecurity(mode, 1), mode <= 2);
      EXPECT_EQ(MailsGetLastErrorCode(), 0);
    }
    EXPECT_FALSE(MailsUseSMTP_POP("h", 110, "u", "p", "h", 25, &name, "/no/such/dir", 0));
    EXPECT_TRUE(MailsSetTlsTrust("/etc/school-ca.pem", 1));
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
    MTRemove();
  }).join();
}

}  // namespace
