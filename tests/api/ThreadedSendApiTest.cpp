// The background-send exports through libquorvel.so: a worker that fails on
// a machine without MAPI reports through the completion callback, on its own
// thread, and the controls answer 0 when no worker runs.
#include <gtest/gtest.h>

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
    MailsUseMAPI();
    ASSERT_TRUE(MailsThreadedSendMail(&mail, OnCompletion, 5));
    {
      std::unique_lock hold(lock);
      done.wait(hold, [] { return completed; });
      completed = false;  // consumed: a repeated run waits for its own callback
    }
    EXPECT_EQ(completedWith, 0u);
    EXPECT_NE(completedOn, std::this_thread::get_id());
    EXPECT_EQ(MailsGetLastErrorCode(), 10) << "no MAPI provider on this machine";
    MTRemove();
  }).join();
}

}  // namespace
