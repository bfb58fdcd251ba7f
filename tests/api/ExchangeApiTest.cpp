// The background workers through libquorvel.so: callbacks that report on the
// worker's own thread, the send controls, a stop between two exchange
// operations, the host leaving while a worker runs, a completion callback
// that starts the next run; the run's lists and the routes of unsent items
// rewritten. The whole exchange is the demo's (quorvel demo); refused starts,
// the locking table and suspending are the workers' own tests. A worker is
// held where the test needs it by the host's own callbacks.
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
std::condition_variable changed;
int completions = 0;
uint32_t lastResult = 99;
std::thread::id completedOn;
int step = 0;  // how far a held worker has come
// The worker takes it once more after the callback, to leave the context.
std::mutex hostMutex;

void OnCompletion(uint32_t userValue, uint32_t result) {
  std::lock_guard hold(lock);
  EXPECT_EQ(userValue, 7u);
  lastResult = result;
  completedOn = std::this_thread::get_id();
  ++completions;
  changed.notify_all();
}

// Waits for the next callback and answers its result; 99 when none comes
// within a minute.
uint32_t Completion() {
  std::unique_lock hold(lock);
  if (!changed.wait_for(hold, std::chrono::minutes(1), [] { return completions == 1; })) return 99;
  completions = 0;
  EXPECT_NE(completedOn, std::this_thread::get_id());
  return lastResult;
}

void Reach(int reached) {
  std::lock_guard hold(lock);
  step = reached;
  changed.notify_all();
}
void Await(int wanted) {
  std::unique_lock hold(lock);
  EXPECT_TRUE(changed.wait_for(hold, std::chrono::minutes(1), [&] { return step == wanted; }));
}

// Suspending, resuming and stopping a running worker are the threaded
// sender's own tests.
TEST(ThreadedSendApi, AWorkerReportsThroughTheCompletionCallback) {
  std::thread([] {
    MailData mail;
    mail.AddTo("tutor@example.test");
    EXPECT_FALSE(MailsThreadedSendMail(&mail, OnCompletion, 7)) << "no context";
    ASSERT_NE(MTAddNew(hostMutex.native_handle()), 0);
    EXPECT_FALSE(MailsStopThreadedSend()) << "no worker";
    EXPECT_FALSE(MailsSuspendThreadedSend());
    EXPECT_FALSE(MailsResumeThreadedSend());
    EXPECT_FALSE(MailsThreadedSendMail(nullptr, OnCompletion, 7));
    EXPECT_EQ(MailsGetLastErrorCode(), 32774) << "no mail";
    MailsUseMAPI();
    ASSERT_TRUE(MailsThreadedSendMail(&mail, OnCompletion, 7));
    EXPECT_EQ(Completion(), 0u);
    EXPECT_EQ(MailsGetLastErrorCode(), 10) << "no MAPI provider on this machine";
    std::lock_guard hold(hostMutex);
    MTRemove();
  }).join();
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

// The host removes its context while the worker is in its completion
// callback: the worker still finds the context (and its mailbox) there, and
// the context goes only when the worker leaves.
void HoldInCallback(uint32_t, uint32_t) {
  Reach(1);
  Await(2);
  EXPECT_NE(TessalyGetItemAtIndex(0), nullptr) << "the context outlives the host's removal";
  Reach(3);
}

TEST(ExchangeApi, TheHostRemovingItsContextLeavesItToTheRunningWorker) {
  TempDirectory base, outbox;
  Reach(0);
  std::thread([&] {
    OpenWithOneQueuedItem(base, outbox);
    ASSERT_TRUE(TessalyThreadedSendMails(HoldInCallback, 7));
    Await(1);
    std::lock_guard hold(hostMutex);
    MTRemove();
    EXPECT_EQ(TessalyGetItemAtIndex(0), nullptr) << "the host has no context any more";
    Reach(2);
  }).join();
  Await(3);
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
    EXPECT_FALSE(TessalySendMails()) << "no context";
    EXPECT_FALSE(TessalyThreadedSendMails(OnCompletion, 7)) << "no context";
    ASSERT_NE(MTAddNew(hostMutex.native_handle()), 0);
    EXPECT_FALSE(TessalyThreadedReceiveMails(OnCompletion, 7)) << "no mailbox";
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    for (int item = 0; item < 2; ++item) {
      ASSERT_TRUE(HostWritesMail(UINT32_MAX, {.route = "2|a|b|25"}));  // refused there
    }
    ASSERT_TRUE(TessalyThreadedSendMails(OnCompletion, 7));
    EXPECT_EQ(Completion(), 1u) << "the run took place";
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
    EXPECT_EQ(TessalyGetItemAttributes(0) & kItemNotSent, 0) << "sent";
    EXPECT_FALSE(std::filesystem::is_empty(outbox.path()));
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    EXPECT_EQ(TessalyGetNotSentItems()->Size(), 0u);
    std::lock_guard hold(hostMutex);
    MTRemove();
  }).join();
}

}  // namespace
