// The background exchange operations through libquorvel.so: workers whose
// callbacks report on their own thread. The send run itself, with its lists
// and rewritten routes, is the end-to-end exchange's; the locking table the
// operations layer's.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "HostWrites.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;

std::mutex lock;
std::condition_variable done;
int completions = 0;
uint32_t lastResult = 99;
std::thread::id completedOn;
// The worker takes it once more after the callback, to leave the context.
std::mutex hostMutex;

void OnCompletion(uint32_t userValue, uint32_t result) {
  std::lock_guard hold(lock);
  EXPECT_EQ(userValue, 7u);
  lastResult = result;
  completedOn = std::this_thread::get_id();
  ++completions;
  done.notify_all();
}

// Waits for the next callback and answers its result.
uint32_t Completion() {
  std::unique_lock hold(lock);
  done.wait(hold, [] { return completions == 1; });
  completions = 0;
  EXPECT_NE(completedOn, std::this_thread::get_id());
  return lastResult;
}

TEST(ExchangeApi, BackgroundOperationsReportThroughTheCallback) {
  TempDirectory base, drop;
  std::thread([&] {
    EXPECT_FALSE(TessalySendMails()) << "no context";
    EXPECT_FALSE(TessalyThreadedSendMails(OnCompletion, 7)) << "no context";
    ASSERT_NE(MTAddNew(hostMutex.native_handle()), 0);
    EXPECT_FALSE(TessalyThreadedReceiveMails(OnCompletion, 7)) << "no mailbox";
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    ASSERT_TRUE(HostWritesMail(UINT32_MAX, {.route = "2|a|b|25"}));
    ASSERT_TRUE(TessalyThreadedSendMails(OnCompletion, 7));
    EXPECT_EQ(Completion(), 1u) << "the run took place";
    ASSERT_NE(TessalyGetNotSentItems(), nullptr);
    EXPECT_EQ(TessalyGetNotSentItems()->Size(), 1u);
    TessalyAddProtocolFileIn(drop.path().c_str());
    ASSERT_TRUE(TessalyThreadedReceiveAndSendMails(OnCompletion, 7));
    EXPECT_EQ(Completion(), 1u);
    TessalySetDllLockingMode(0x1);
    ASSERT_TRUE(TessalyThreadedReceiveAndSendMails(OnCompletion, 7));
    EXPECT_EQ(Completion(), 0u) << "the send run was refused inside the worker";
    TessalySetDllLockingMode(0x2);
    EXPECT_FALSE(TessalyThreadedReceiveMails(OnCompletion, 7));
    TessalySetDllLockingMode(0);
    ASSERT_TRUE(TessalyThreadedReceiveMails(OnCompletion, 7));
    EXPECT_EQ(Completion(), 1u);
    MTRemove();
  }).join();
}

}  // namespace
