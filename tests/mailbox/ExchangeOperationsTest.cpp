// Background exchange operations (the rest: through the exports). A first
// operation that waits for the test keeps the worker alive until the test
// has seen it; the test then waits for the worker's end.
#include "mailbox/ExchangeOperations.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "TempDirectory.h"
#include "WaitUntil.h"
#include "frame/ContextTable.h"
#include "frame/WorkerContext.h"
#include "mail/ThreadedSend.h"
#include "mailbox/MailboxContext.h"
#include "platform/Threads.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// Written by the worker before it counts its completion, read after.
struct Events {
  std::atomic<bool> blockerRunning = false, released = false;
  ThreadContext* context = nullptr;
  std::atomic<int> runs = 0, completions = 0;  // runs: of Succeeds and Fails
  uint32_t result = 99, userValue = 0, callbackThread = 0;
  bool contextFoundInCallback = false;
} events;

// Waits for `condition`; a minute without it fails the test.
template <typename Condition>
void WaitFor(Condition condition) {
  if (!WaitUntil(condition, std::chrono::minutes(1))) ADD_FAILURE() << "never came";
}

bool Blocker() {
  events.blockerRunning = true;
  WaitFor([] { return events.released.load(); });
  return true;
}

template <bool kResult>
bool Counted() {
  ++events.runs;
  return kResult;
}
constexpr ExchangeOperation Succeeds = Counted<true>, Fails = Counted<false>;

void OnCompletion(uint32_t userValue, uint32_t result) {
  events.userValue = userValue;
  events.result = result;
  events.callbackThread = platform::CurrentThreadId();
  events.contextFoundInCallback = CallingContext() == events.context;
  ++events.completions;
}

class ExchangeOperations : public ::testing::Test {
 protected:
  void SetUp() override {
    events.blockerRunning = events.released = false;
    events.runs = events.completions = 0;
    events.result = 99;
    ASSERT_TRUE(Contexts().AddNew(platform::CurrentThreadId(), hostMutex.handle()));
    context = events.context = CallingContext();
    ASSERT_TRUE(OpenContextMailbox(base.path().c_str(), "anna"));
  }
  void TearDown() override {
    if (worker) worker->Wait(0xFFFFFFFF);
    Contexts().Remove(platform::CurrentThreadId());
  }

  // After a start whose first operation is the blocker: the running worker.
  void KeepWorker() {
    WaitFor([] { return events.blockerRunning.load(); });
    std::lock_guard hold(WorkerFieldsLock());
    worker = context->workerThread;
    ASSERT_TRUE(worker);
  }
  // Queues the blocker and `operations`, starts a worker with `start` and
  // answers its callback's result, or kRefused (a refusal queues nothing).
  static constexpr uint32_t kRefused = 2;
  uint32_t Run(const std::function<bool()>& start, std::vector<ExchangeOperation> operations = {}) {
    operations.insert(operations.begin(), Blocker);
    {
      std::lock_guard hold(WorkerFieldsLock());
      context->exchangeOperations = operations;
    }
    // Clear the marks of the run before, else the waits below misread them.
    events.blockerRunning = events.released = false;
    events.completions = 0;
    if (!start()) {
      std::lock_guard hold(WorkerFieldsLock());
      EXPECT_EQ(context->exchangeOperations.size(), operations.size()) << "a refusal queues nothing";
      context->exchangeOperations.clear();
      return kRefused;
    }
    KeepWorker();
    events.released = true;
    WaitFor([] { return events.completions == 1; });
    worker->Wait(0xFFFFFFFF);
    return events.result;
  }

  platform::HostMutex hostMutex;
  TempDirectory base;
  ThreadContext* context = nullptr;
  std::shared_ptr<platform::Thread> worker;
};

TEST_F(ExchangeOperations, TheCombinedResultOnTheWorkerThread) {
  const std::pair<std::vector<ExchangeOperation>, uint32_t> cases[] = {
      {{Succeeds, Succeeds}, 1}, {{Fails, Succeeds}, 0}, {{Succeeds, Fails}, 0}};
  for (const auto& [operations, result] : cases) {
    events.runs = 0;
    EXPECT_EQ(Run([&] { return StartExchangeOperations(*context, {}, OnCompletion, 41); }, operations),
              result);
    EXPECT_EQ(events.runs.load(), 2) << "a failure does not end the queue";
    EXPECT_EQ(events.userValue, 41u);
    EXPECT_NE(events.callbackThread, platform::CurrentThreadId());
    EXPECT_TRUE(events.contextFoundInCallback) << "the worker still shares the context";
    std::lock_guard hold(WorkerFieldsLock());
    EXPECT_EQ(context->workerThread, nullptr);
    EXPECT_TRUE(context->exchangeOperations.empty());
    EXPECT_EQ(context->completionCallback, nullptr);
  }
}

TEST_F(ExchangeOperations, ARefusedStartLeavesItsOperationsToTheRunningWorker) {
  ASSERT_TRUE(StartExchangeOperations(*context, {Blocker}, OnCompletion, 1));
  KeepWorker();
  EXPECT_FALSE(StartExchangeOperations(*context, {Fails}, OnCompletion, 2));
  EXPECT_FALSE(ThreadedSendItems(OnCompletion, 3));
  events.released = true;
  WaitFor([] { return events.completions == 1; });
  EXPECT_EQ(events.runs.load(), 1) << "the worker read the longer queue";
  EXPECT_EQ(events.result, 0u) << "the appended operation failed";
  EXPECT_EQ(events.userValue, 1u);
}

TEST_F(ExchangeOperations, LockedDirectionsRefuseOrFailInsideTheWorker) {
  const struct {
    uint32_t mode;
    uint32_t send, receive, both;
  } cases[] = {
      {kLockSending | kLockReceiving, kRefused, kRefused, kRefused},
      {kLockSending, kRefused, 1, 0},
      {kLockReceiving, 1, kRefused, 0},
      {0, 1, 1, 1},
  };
  for (const auto& c : cases) {
    SetLockingMode(context, c.mode);
    EXPECT_EQ(Run([] { return ThreadedSendItems(OnCompletion, 5); }), c.send) << c.mode;
    EXPECT_EQ(Run([] { return ThreadedReceiveItems(OnCompletion, 5); }), c.receive) << c.mode;
    EXPECT_EQ(Run([] { return ThreadedReceiveAndSendItems(OnCompletion, 5); }), c.both) << c.mode;
  }
}

}  // namespace
}  // namespace quorvel
