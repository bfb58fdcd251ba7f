// A worker thread joins its starter's context, sees its settings, and keeps
// the context alive until it leaves, even after the host removed it.
#include "frame/WorkerContext.h"

#include <gtest/gtest.h>

#include <mutex>

#include "frame/ContextTable.h"
#include "platform/Clock.h"
#include "platform/Threads.h"

namespace quorvel {
namespace {

TEST(WorkerContext, TheLastToLeaveDestroysTheContext) {
  std::mutex host;
  const uint32_t self = platform::CurrentThreadId();
  const int before = ThreadContext::LiveCount();
  ASSERT_TRUE(Contexts().AddNew(self, host.native_handle()));
  Contexts().Find(self)->smtpHost = "mail.example.test";

  std::mutex step;
  std::unique_lock holdWorker(step);  // the worker waits here after joining
  std::string seen;
  auto worker = platform::Thread::Create([&] {
    ThreadContext* joined = JoinContextOf(self);
    if (joined == nullptr) return 0u;
    const MutexHandle mutex = joined->contextMutex;  // kept aside: leaving may free the context
    seen = CallingContext()->smtpHost;
    std::lock_guard wait(step);
    LeaveJoinedContext(mutex);
    return 1u;
  }, false);
  ASSERT_TRUE(worker);
  while (Contexts().Find(worker->Id()) == nullptr) platform::SleepMilliseconds(1);
  EXPECT_EQ(Contexts().Find(self)->referenceCount, 2u);

  Contexts().Remove(self);  // the host ends its use first
  EXPECT_EQ(ThreadContext::LiveCount(), before + 1);
  holdWorker.unlock();
  ASSERT_TRUE(worker->Wait(10000));
  EXPECT_EQ(worker->ExitCode(), 1u);
  EXPECT_EQ(seen, "mail.example.test");
  EXPECT_EQ(ThreadContext::LiveCount(), before);
  EXPECT_EQ(Contexts().Find(worker->Id()), nullptr);
}

TEST(WorkerContext, NoOwnerContextNoJoin) {
  auto worker = platform::Thread::Create([] { return JoinContextOf(0xFFFFFFF1u) ? 1u : 0u; }, false);
  ASSERT_TRUE(worker);
  ASSERT_TRUE(worker->Wait(10000));
  EXPECT_EQ(worker->ExitCode(), 0u);
}

}  // namespace
}  // namespace quorvel
