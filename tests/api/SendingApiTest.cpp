// The sending path's exports through libquorvel.so: SMTP settings discovery
// and the posted cancel of a blocked call.
#include <gtest/gtest.h>

#include <chrono>

#include <fstream>
#include <future>
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

// A thread that runs `body` and then waits until `Finish`, so that the test
// decides when it ends; `Id` is its kernel id once `body` has run.
class HeldThread {
 public:
  explicit HeldThread(void (*body)()) : thread_([this, body] {
    body();
    ready_.set_value(KernelThreadId());
    finish_.get_future().wait_for(std::chrono::minutes(1));
    if (body != NoLibrary) MTRemove();
  }) {}
  ~HeldThread() { Finish(); }
  uint32_t Id() { return id_.get(); }
  void Finish() {
    if (!thread_.joinable()) return;
    finish_.set_value();
    thread_.join();
  }
  static void NoLibrary() {}

 private:
  std::promise<uint32_t> ready_;
  std::shared_future<uint32_t> id_ = ready_.get_future().share();
  std::promise<void> finish_;
  std::thread thread_;
};

TEST(CancelBlockingCall, PostsOnlyToThreadsWithAContext) {
  HeldThread withContext([] { ASSERT_NE(MTAddNew(nullptr), 0); });
  HeldThread stranger(HeldThread::NoLibrary);
  const uint32_t target = withContext.Id();
  EXPECT_TRUE(MailsCancelBlockingCall(target));
  EXPECT_TRUE(MailsCancelBlockingCall(target)) << "posting twice is allowed";
  EXPECT_FALSE(MailsCancelBlockingCall(stranger.Id())) << "a thread the library never saw";
  withContext.Finish();
  EXPECT_FALSE(MailsCancelBlockingCall(target)) << "its context is removed";
  EXPECT_FALSE(MailsCancelBlockingCall(0));
}

}  // namespace
