// The background-send exports through libquorvel.so: a worker that fails on
// a machine without MAPI reports through the completion callback, on its own
// thread, and the controls answer 0 when no worker runs; a worker held in
// its progress callback is resumed while it runs, suspended, and stopped
// without the caller's priority changing.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#if !defined(_WIN32)
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

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
      done.wait(hold, [] { return completed; });
      completed = false;  // consumed: a repeated run waits for its own callback
    }
    EXPECT_EQ(completedWith, 0u);
    EXPECT_NE(completedOn, std::this_thread::get_id());
    EXPECT_EQ(MailsGetLastErrorCode(), 10) << "no MAPI provider on this machine";
    MTRemove();
  }).join();
}

#if !defined(_WIN32)
// A worker connected to a server that never greets: its progress callback
// holds it at "awaiting the reply" until the host has tried a resume, then
// asks for a suspension that takes effect at the reply's checkpoint.
enum class Step { kNone, kInCallback, kGo } step = Step::kNone;
void Await(Step wanted) {
  std::unique_lock hold(lock);
  done.wait(hold, [&] { return step == wanted; });
}
void Reach(Step reached) {
  std::lock_guard hold(lock);
  step = reached;
  done.notify_all();
}
void HoldAtTheReply(uint32_t event, uint32_t) {
  {
    std::lock_guard hold(lock);
    if (event != 12 || step != Step::kNone) return;  // the first wait for the greeting only
  }
  Reach(Step::kInCallback);
  Await(Step::kGo);
  EXPECT_FALSE(MailsSuspendThreadedSend()) << "asked on the worker itself: not suspended yet";
}

TEST(ThreadedSendApi, ResumeSuspendAndStopOfARunningWorker) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(::listen(listener, 1), 0);  // the kernel accepts; nobody answers
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  std::thread([&] {
    // A priority of the host's own that a stop must leave as it is.
    ASSERT_EQ(::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 3), 0);
    MailData mail;
    mail.AddTo("tutor@example.test");
    ASSERT_NE(MTAddNew(hostMutex.native_handle()), 0);
    const CodedText noName;
    ASSERT_TRUE(MailsUseSMTP_POP("", 110, "", "", "127.0.0.1", ntohs(address.sin_port), &noName,
                                 nullptr, 0));
    MailsSetCallback(HoldAtTheReply);
    ASSERT_TRUE(MailsThreadedSendMail(&mail, OnCompletion, 5));
    Await(Step::kInCallback);
    EXPECT_TRUE(MailsResumeThreadedSend()) << "a running worker resumes without failing";
    Reach(Step::kGo);
    EXPECT_TRUE(MailsSuspendThreadedSend());
    EXPECT_TRUE(MailsSuspendThreadedSend()) << "suspended already";
    EXPECT_TRUE(MailsStopThreadedSend());
    errno = 0;
    EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())), 3);
    EXPECT_EQ(errno, 0);
    EXPECT_TRUE(MailsResumeThreadedSend());
    ::shutdown(listener, SHUT_RDWR);  // ends the wait for the greeting
    ::close(listener);
    {
      std::unique_lock hold(lock);
      done.wait(hold, [] { return completed; });
      completed = false;
    }
    EXPECT_EQ(completedWith, 0u) << "stopped";
    std::lock_guard hold(hostMutex);
    MTRemove();
  }).join();
}
#endif

}  // namespace
