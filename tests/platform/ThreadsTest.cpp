// Threads created suspended or suspending themselves, host mutexes, registered message numbers
// and windows that hand what any thread sends to a procedure.
#include "platform/Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

#include "WaitUntil.h"
#include "platform/WindowMessages.h"

namespace quorvel::platform {
namespace {

TEST(SuspendedCreation, TheBodyWaitsForResume) {
  std::atomic<bool> ran{false};
  auto thread = Thread::Create([&] {
    ran = true;
    return 0u;
  }, true);
  ASSERT_TRUE(thread);
  EXPECT_TRUE(thread->IsSuspended());
  EXPECT_FALSE(thread->Wait(50));
  EXPECT_FALSE(ran);
  EXPECT_TRUE(thread->Resume());
  ASSERT_TRUE(thread->Wait(10000));
  EXPECT_TRUE(ran);
  EXPECT_FALSE(thread->Resume()) << "nothing left to resume";
}

TEST(SelfSuspension, RefusedOnAThreadTheLibraryDidNotCreateElseNoResumeIsLost) {
  bool called = false;
  EXPECT_FALSE(SuspendCurrentThread([&] { called = true; })) << "the test's own thread";
  EXPECT_FALSE(called);
  std::atomic<int> stage{0};
  std::atomic<uint8_t> request{1};
  auto thread = Thread::Create([&] {
    stage = 1;
    // As a worker obeys a suspend request: clear the flag, then sleep.
    SuspendCurrentThread([&] { request = 0; });
    stage = 2;
    return 0u;
  }, false);
  ASSERT_TRUE(thread);
  // The host resumes as soon as it sees the flag cleared: it must not be lost.
  ASSERT_TRUE(testing::WaitUntil([&] { return request.load() == 0; }));
  EXPECT_TRUE(thread->IsSuspended());
  EXPECT_EQ(stage.load(), 1);
  EXPECT_TRUE(thread->Resume());
  ASSERT_TRUE(thread->Wait(10000));
  EXPECT_EQ(stage.load(), 2);
}

TEST(HostMutex, ExcludesTheOtherThreadAndNullIsFree) {
  HostMutex host;
  const MutexHandle mutex = host.handle();
  LockHostMutex(mutex);
  std::atomic<bool> entered{false};
  auto thread = Thread::Create([&] {
    LockHostMutex(mutex);
    entered = true;
    UnlockHostMutex(mutex);
    return 0u;
  }, false);
  ASSERT_TRUE(thread);
  EXPECT_FALSE(thread->Wait(50));
  EXPECT_FALSE(entered);
  UnlockHostMutex(mutex);
  ASSERT_TRUE(thread->Wait(10000));
  EXPECT_TRUE(entered);
  LockHostMutex(nullptr);
  UnlockHostMutex(nullptr);
}

// Registered numbers are one per name from C000; a window hands what any thread sends to its
// procedure and the procedure's answer back.
TEST(MessageWindows, ANumberPerNameAndWhatAnyThreadSendsGoesToTheProcedure) {
  const uint32_t number = RegisterMessageName("quorvel.test.first");
  const uint32_t second = RegisterMessageName("quorvel.test.second");
  EXPECT_GE(number, 0xC000u);
  EXPECT_LE(second, 0xFFFFu);
  EXPECT_NE(number, second);
  EXPECT_EQ(RegisterMessageName("QUORVEL.Test.First"), number) << "names ignore case";
  EXPECT_EQ(RegisterMessageName(""), 0u);
  std::vector<std::tuple<uint32_t, uintptr_t, intptr_t>> seen;
  MessageWindow window([&](uint32_t message, uintptr_t wParam, intptr_t lParam) {
    seen.emplace_back(message, wParam, lParam);
    return lParam * 2;
  });
  ASSERT_NE(window.handle(), nullptr);
  EXPECT_EQ(SendToClientWindow(window.handle(), number, 7, 21), 42);
  std::thread([&] { EXPECT_EQ(SendToClientWindow(window.handle(), number, 8, -1), -2); }).join();
  EXPECT_EQ(seen, (std::vector<std::tuple<uint32_t, uintptr_t, intptr_t>>{{number, 7, 21},
                                                                          {number, 8, -1}}));
}

}  // namespace
}  // namespace quorvel::platform
