// The sending path's exports through libquorvel.so: SMTP settings discovery
// and the posted cancel of a blocked call.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>

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

TEST(CancelBlockingCall, PostsToLiveThreadsOnly) {
  std::atomic<uint32_t> target{0};
  std::atomic<bool> posted{false};
  std::thread live([&] {
    target = KernelThreadId();
    while (!posted) std::this_thread::yield();
  });
  while (target == 0) std::this_thread::yield();
  EXPECT_TRUE(MailsCancelBlockingCall(target));
  posted = true;
  live.join();
  EXPECT_FALSE(MailsCancelBlockingCall(target)) << "the thread has ended";
  EXPECT_FALSE(MailsCancelBlockingCall(0));
}

}  // namespace
