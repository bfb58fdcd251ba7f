// The background exchange operations through libquorvel.so: workers whose
// callbacks report on their own thread, a stop between two operations, a
// start refused while a worker runs and the host leaving while it runs; the
// run's lists and the routes of unsent items rewritten. The whole exchange is
// the demo's (quorvel demo); the locking table the operations layer's. A worker is held
// where the test needs it by what it waits for: the host's mutex (to join
// the context) or the host's own callbacks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
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

// Waits for the next callback and answers its result; 99 when none comes
// within a minute.
uint32_t Completion() {
  std::unique_lock hold(lock);
  if (!done.wait_for(hold, std::chrono::minutes(1), [] { return completions == 1; })) return 99;
  completions = 0;
  EXPECT_NE(completedOn, std::this_thread::get_id());
  return lastResult;
}

// The host's thread with a context and a mailbox holding one queued item
// routed to `outbox`.
void OpenWithOneQueuedItem(const TempDirectory& base, const TempDirectory& outbox) {
  ASSERT_NE(MTAddNew(hostMutex.native_handle()), 0);
  ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
  ASSERT_TRUE(HostWritesMail(UINT32_MAX, {.route = "3|" + outbox.path()}));
}

std::atomic<bool> stopWhenConnecting{false};
std::atomic<bool> stopAnswered{false};
// Runs on the worker during the receive: a POP connection begins.
void OnProgress(uint32_t event, uint32_t) {
  if (event != 1 || !stopWhenConnecting.exchange(false)) return;
  EXPECT_FALSE(MailsSuspendThreadedSend()) << "a worker cannot wait for itself";
  stopAnswered = MailsStopThreadedSend();
}

TEST(ExchangeApi, AStopDuringTheReceiveEndsTheRunBeforeTheSend) {
  TempDirectory base, outbox;
  std::thread([&] {
    OpenWithOneQueuedItem(base, outbox);
    TessalyAddProtocolPopIn("127.0.0.1", 1, "anna", "secret");  // nothing listens there
    MailsSetCallback(OnProgress);
    for (const bool stop : {true, false}) {
      SCOPED_TRACE(stop ? "stopped" : "not stopped");
      stopWhenConnecting = stop;
      stopAnswered = false;
      ASSERT_TRUE(TessalyThreadedReceiveAndSendMails(OnCompletion, 7));
      EXPECT_EQ(Completion(), 1u) << "an unreachable account is no failed receive";
      EXPECT_EQ(stopAnswered.load(), stop);
      EXPECT_EQ((TessalyGetItemAttributes(0) & kItemNotSent) != 0, stop);
      EXPECT_EQ(std::filesystem::is_empty(outbox.path()), stop);
    }
    MTRemove();
  }).join();
}

// While a worker waits to join the context (the test holds the host's
// mutex), every start is refused; the worker then runs what it was given.
TEST(ExchangeApi, AStartIsRefusedWhileAWorkerRuns) {
  TempDirectory base, outbox;
  std::thread([&] {
    OpenWithOneQueuedItem(base, outbox);
    MailData mail;
    mail.AddTo("tutor@example.test");
    {
      std::lock_guard hold(hostMutex);
      ASSERT_TRUE(TessalyThreadedSendMails(OnCompletion, 7));
      EXPECT_FALSE(TessalyThreadedSendMails(OnCompletion, 7));
      EXPECT_FALSE(TessalyThreadedReceiveMails(OnCompletion, 7));
      EXPECT_FALSE(TessalyThreadedReceiveAndSendMails(OnCompletion, 7));
      EXPECT_FALSE(MailsThreadedSendMail(&mail, OnCompletion, 7));
    }
    EXPECT_EQ(Completion(), 1u);
    EXPECT_EQ(TessalyGetNotSentItems()->Size(), 0u) << "the one run sent the item";
    MTRemove();
  }).join();
}

// The host removes its context while the worker is in its completion
// callback: the worker still finds the context (and its mailbox) there, and
// the context goes only when the worker leaves.
std::mutex held;
std::condition_variable heldChanged;
enum class Hold { kNone, kInCallback, kHostGone, kChecked } holdState = Hold::kNone;

void AwaitHold(Hold state) {
  std::unique_lock hold(held);
  EXPECT_TRUE(heldChanged.wait_for(hold, std::chrono::minutes(1), [&] { return holdState == state; }));
}
void SetHold(Hold state) {
  std::lock_guard hold(held);
  holdState = state;
  heldChanged.notify_all();
}

void HoldInCallback(uint32_t, uint32_t) {
  SetHold(Hold::kInCallback);
  AwaitHold(Hold::kHostGone);
  EXPECT_NE(TessalyGetItemAtIndex(0), nullptr) << "the context outlives the host's removal";
  SetHold(Hold::kChecked);
}

TEST(ExchangeApi, TheHostRemovingItsContextLeavesItToTheRunningWorker) {
  TempDirectory base, outbox;
  std::thread([&] {
    OpenWithOneQueuedItem(base, outbox);
    ASSERT_TRUE(TessalyThreadedSendMails(HoldInCallback, 7));
    AwaitHold(Hold::kInCallback);
    std::lock_guard hold(hostMutex);
    MTRemove();
    EXPECT_EQ(TessalyGetItemAtIndex(0), nullptr) << "the host has no context any more";
    SetHold(Hold::kHostGone);
  }).join();
  AwaitHold(Hold::kChecked);
  // The worker leaves under the host's mutex once its callback returned.
}

// The completion callback of a background send starts the background
// receive itself: that worker runs and calls back in every round.
void StartTheReceive(uint32_t userValue, uint32_t) {
  if (!TessalyThreadedReceiveMails(OnCompletion, userValue)) OnCompletion(userValue, 98);
}

TEST(ExchangeApi, ACompletionCallbackStartsTheNextOperationEveryRound) {
  TempDirectory base;
  std::thread([&] {
    ASSERT_NE(MTAddNew(hostMutex.native_handle()), 0);
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    for (int round = 0; round < 200; ++round) {
      ASSERT_TRUE(TessalyThreadedSendMails(StartTheReceive, 7)) << "round " << round;
      ASSERT_EQ(Completion(), 1u) << "round " << round << " (98: refused, 99: never called back)";
    }
    std::lock_guard hold(hostMutex);
    MTRemove();
  }).join();
}

// The lists hand out the mailbox's own entries: a removal takes the removed
// ones out, and closing the mailbox empties them. Unsent items given a
// route that works go with the next run.
TEST(ExchangeApi, TheRunsListsNeverHoldAnEntryGone) {
  TempDirectory base, outbox;
  std::thread([&] {
    ASSERT_NE(MTAddNew(nullptr), 0);
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    for (int item = 0; item < 2; ++item) ASSERT_TRUE(HostWritesMail(UINT32_MAX, {.route = "2|a|b|25"}));
    ASSERT_TRUE(TessalySendMails());
    ASSERT_EQ(TessalyGetNotSentItems()->Size(), 2u);
    IndexEntry* kept = TessalyGetItemAtIndex(1);
    ASSERT_TRUE(TessalyRemoveMailAtIndex(0));
    ASSERT_EQ(TessalyGetNotSentItems()->Size(), 1u);
    EXPECT_EQ((*TessalyGetNotSentItems())[0], kept);
    TessalyChangeOutProtocolForUnsentMessages(("3|" + outbox.path()).c_str(), nullptr);
    ASSERT_TRUE(TessalySendMails());
    EXPECT_EQ(TessalyGetNotSentItems()->Size(), 0u);
    ASSERT_EQ(TessalyGetSentItems()->Size(), 1u);
    EXPECT_EQ((*TessalyGetSentItems())[0], kept);
    EXPECT_EQ(TessalyGetItemAttributes(0) & 0x0002, 0) << "sent";
    EXPECT_FALSE(std::filesystem::is_empty(outbox.path()));
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    EXPECT_EQ(TessalyGetNotSentItems()->Size(), 0u);
    MTRemove();
  }).join();
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
