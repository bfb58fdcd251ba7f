// A worker runs on its starter's context, sees its settings, and keeps the
// context alive until it leaves, even after the host removed it.
#include "frame/WorkerContext.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
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
  ThreadContext& context = *Contexts().Find(self);
  context.smtpHost = "mail.example.test";

  std::promise<void> mayEnd;
  std::shared_future<void> ending = mayEnd.get_future().share();
  std::string seen;
  ASSERT_TRUE(StartWorker(context, nullptr, 0, [&](ThreadContext&) {
    seen = CallingContext()->smtpHost;
    ending.wait();
    return 1u;
  }));
  std::shared_ptr<platform::Thread> worker;
  {
    std::lock_guard hold(WorkerFieldsLock());
    worker = context.workerThread;
  }
  ASSERT_TRUE(worker);
  EXPECT_EQ(context.referenceCount, 2u) << "entered by its starter before it runs";

  Contexts().Remove(self);  // the host ends its use first
  EXPECT_EQ(ThreadContext::LiveCount(), before + 1);
  mayEnd.set_value();
  ASSERT_TRUE(worker->Wait(60000));
  EXPECT_EQ(worker->ExitCode(), 1u);
  EXPECT_EQ(seen, "mail.example.test");
  EXPECT_EQ(ThreadContext::LiveCount(), before);
  EXPECT_EQ(Contexts().Find(worker->Id()), nullptr);
}

}  // namespace
}  // namespace quorvel
