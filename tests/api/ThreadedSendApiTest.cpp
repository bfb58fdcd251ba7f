// The background-send exports through libquorvel.so: a worker that fails on
// a machine without MAPI reports through the completion callback, on its own
// thread, and the controls answer 0 when no worker runs; a worker held in
// its progress callback is resumed while it runs without failing. Suspend,
// stop and the caller's priority are the threaded sender's own tests.
#include <gtest/gtest.h>

#include <chrono>

#include <condition_variable>
#include <mutex>
#include <thread>


#include "quorvel/quorvel.h"

namespace {

std::mutex lock;
std::condition_variable done;
bool completed = false;
uint32_t completedWith = 99;
std::thread::id completedOn;
// The worker takes its host's mutex once more after the completion callback,
// to leave the context, so the mutex outlives the host thread.
std::mutex hostMutex;

void OnCompletion(uint32_t userValue, uint32_t result) {
  std::lock_guard hold(lock);
  completed = userValue == 5;
  completedWith = result;
  completedOn = std::this_thread::get_id();
  done.notify_all();
}

TEST(ThreadedSendApi, AWorkerReportsThroughTheCompletionCallback) {
  std::thread([] {
    MailData mail;
    mail.AddTo("tutor@example.test");
    EXPECT_FALSE(MailsThreadedSendMail(&mail, OnCompletion, 5)) << "no context";
    ASSERT_NE(MTAddNew(hostMutex.native_handle()), 0);
    EXPECT_FALSE(MailsStopThreadedSend());
    EXPECT_FALSE(MailsSuspendThreadedSend());
    EXPECT_FALSE(MailsResumeThreadedSend());
    EXPECT_FALSE(MailsThreadedSendMail(nullptr, OnCompletion, 5));
    EXPECT_EQ(MailsGetLastErrorCode(), 32774) << "no mail";
    MailsUseMAPI();
    ASSERT_TRUE(MailsThreadedSendMail(&mail, OnCompletion, 5));
    {
      std::unique_lock hold(lock);
      ASSERT_TRUE(done.wait_for(hold, std::chrono::minutes(1), [] { return completed; }));
      completed = false;  // consumed: a repeated run waits for its own callback
    }
    EXPECT_EQ(completedWith, 0u);
    EXPECT_NE(completedOn, std::this_thread::get_id());
    EXPECT_EQ(MailsGetLastErrorCode(), 10) << "no MAPI provider on this machine";
    MTRemove();
  }).join();
}

// A worker held in its progress callback while it connects runs without
// being suspended: resuming it is no failure.
std::mutex held;
std::condition_variable heldChanged;
enum class Step { kNone, kInCallback, kResumed } step = Step::kNone;
void Reach(Step reached) {
  std::lock_guard hold(held);
  step = reached;
  heldChanged.notify_all();
}
void Await(Step wanted) {
  std::unique_lock hold(held);
  EXPECT_TRUE(heldChanged.wait_for(hold, std::chrono::minutes(1), [&] { return step == wanted; }));
}
void HoldWhileConnecting(uint32_t event, uint32_t) {
  if (event != 1) return;  // connecting
  Reach(Step::kInCallback);
  Await(Step::kResumed);
}

TEST(ThreadedSendApi, ResumingARunningWorkerIsNoFailure) {
  Reach(Step::kNone);
  std::thread([] {
    MailData mail;
    mail.AddTo("tutor@example.test");
    ASSERT_NE(MTAddNew(hostMutex.native_handle()), 0);
    const CodedText noName;
    // Port 1 of the loopback: nothing listens there, the connection is refused.
    ASSERT_TRUE(MailsUseSMTP_POP("", 110, "", "", "127.0.0.1", 1, &noName, nullptr, 0));
    MailsSetCallback(HoldWhileConnecting);
    ASSERT_TRUE(MailsThreadedSendMail(&mail, OnCompletion, 5));
    Await(Step::kInCallback);
    EXPECT_TRUE(MailsResumeThreadedSend());
    Reach(Step::kResumed);
    {
      std::unique_lock hold(lock);
      ASSERT_TRUE(done.wait_for(hold, std::chrono::minutes(1), [] { return completed; }));
      completed = false;
    }
    EXPECT_EQ(completedWith, 0u) << "refused";
    std::lock_guard hold(hostMutex);
    MTRemove();
  }).join();
}

}  // namespace
