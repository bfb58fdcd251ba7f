// A worker thread joins its starter's context, sees its settings, and keeps
// the context alive until it leaves, even after the host removed it.
#include "frame/WorkerContext.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>

#include "frame/ContextTable.h"
#include "platform/Threads.h"

namespace quorvel {
namespace {

TEST(WorkerContext, TheLastToLeaveDestroysTheContext) {
  platform::HostMutex host;
  const uint32_t self = platform::CurrentThreadId();
  const int before = ThreadContext::LiveCount();
  ASSERT_TRUE(Contexts().AddNew(self, host.handle()));
  Contexts().Find(self)->smtpHost = "mail.example.test";

  std::promise<void> joined;
  std::promise<void> mayLeave;
  std::string seen;
  auto worker = platform::Thread::Create([&] {
    ThreadContext* context = JoinContextOf(self, host.handle());
    if (context == nullptr) return 0u;
    const MutexHandle mutex = context->contextMutex;  // kept aside: leaving may free the context
    seen = CallingContext()->smtpHost;
    joined.set_value();
    mayLeave.get_future().wait();
    LeaveJoinedContext(mutex);
    return 1u;
  }, false);
  ASSERT_TRUE(worker);
  joined.get_future().wait();
  EXPECT_EQ(Contexts().Find(self)->referenceCount, 2u);

  Contexts().Remove(self);  // the host ends its use first
  EXPECT_EQ(ThreadContext::LiveCount(), before + 1);
  mayLeave.set_value();
  ASSERT_TRUE(worker->Wait(0xFFFFFFFFu));
  EXPECT_EQ(worker->ExitCode(), 1u);
  EXPECT_EQ(seen, "mail.example.test");
  EXPECT_EQ(ThreadContext::LiveCount(), before);
  EXPECT_EQ(Contexts().Find(worker->Id()), nullptr);
}

// The host replaces its context under its own mutex while a worker is on its
// way to join: the worker must wait for the mutex before it looks anything
// up, and then joins the context that exists by then.
TEST(WorkerContext, AJoinWaitsForTheHostsMutexBeforeLookingUp) {
  platform::HostMutex host;
  const uint32_t self = platform::CurrentThreadId();
  const int before = ThreadContext::LiveCount();
  ASSERT_TRUE(Contexts().AddNew(self, host.handle()));

  std::unique_lock hostHolds(host);
  std::promise<void> starting;
  std::promise<void> mayLeave;
  ThreadContext* joined = nullptr;
  auto worker = platform::Thread::Create([&] {
    starting.set_value();
    joined = JoinContextOf(self, host.handle());
    mayLeave.get_future().wait();
    if (joined != nullptr) LeaveJoinedContext(host.handle());
    return 0u;
  }, false);
  ASSERT_TRUE(worker);
  starting.get_future().wait();
  // A second entry keeps the first context alive and distinct from its
  // replacement, so a worker that joined too early is seen without a
  // sanitizer (with one, it is a use after free).
  constexpr uint32_t kKeeper = 0xFFFFFFF2u;
  Contexts().Join(Contexts().Find(self), kKeeper);
  Contexts().Remove(self);
  ASSERT_TRUE(Contexts().AddNew(self, host.handle()));
  ThreadContext* replacement = Contexts().Find(self);
  hostHolds.unlock();

  mayLeave.set_value();
  ASSERT_TRUE(worker->Wait(0xFFFFFFFFu));
  EXPECT_EQ(joined, replacement);
  EXPECT_EQ(replacement->referenceCount, 1u) << "the worker's reference went when it left";
  Contexts().Remove(kKeeper);
  Contexts().Remove(self);
  EXPECT_EQ(ThreadContext::LiveCount(), before);
}

}  // namespace
}  // namespace quorvel
