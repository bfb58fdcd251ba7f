// Time-outs and posted cancels of blocking socket calls.
#include "platform/Sockets.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/Clock.h"
#include "platform/Threads.h"

namespace quorvel::platform {
namespace {

// A connected pair on loopback: `client` is ours, `server` the peer.
struct Pair {
  Pair() : listener(LoopbackListener::Open()) {
    client.Create();
    client.Connect("127.0.0.1", listener->Port());
    server = listener->Accept(5000);
  }
  std::unique_ptr<LoopbackListener> listener;
  TimeoutSocket client;
  std::unique_ptr<TimeoutSocket> server;
};

TEST(SocketTimeout, ExpiresCloseTheSocketAndFailTheReceive) {
  Pair pair;
  ASSERT_TRUE(pair.server);
  EXPECT_TRUE(pair.client.StopTimeout()) << "no timer running";
  pair.client.StartTimeout(100);
  EXPECT_NE(pair.client.timerId(), 0u);
  char buffer[16];
  const uint64_t start = MonotonicMilliseconds();
  EXPECT_EQ(pair.client.Receive(buffer, sizeof buffer), kSocketError);
  EXPECT_GE(MonotonicMilliseconds() - start, 95u);
  EXPECT_FALSE(pair.client.IsOpen());
  EXPECT_TRUE(pair.client.StopTimeout());
  EXPECT_EQ(pair.client.timerId(), 0u);
}

TEST(SocketTimeout, AnotherSocketsTimerCancelsNothing) {
  Pair first;
  Pair second;
  ASSERT_TRUE(first.server && second.server);
  first.client.StartTimeout(0);  // has expired before the second socket waits
  std::thread peer([&] { second.server->Send("hi", 2); });
  char buffer[16];
  second.client.StartTimeout(5000);
  EXPECT_EQ(second.client.Receive(buffer, sizeof buffer), 2);
  second.client.StopTimeout();
  peer.join();
  EXPECT_TRUE(first.client.IsOpen());
  EXPECT_TRUE(second.client.IsOpen());
}

TEST(SocketCancel, PostedBeforehandCancelsTheNextBlockingCallAtOnce) {
  Pair pair;
  ASSERT_TRUE(pair.server);
  ASSERT_TRUE(PostSocketCancel(CurrentThreadId()));
  EXPECT_TRUE(pair.client.IsOpen()) << "nothing blocks yet: the cancel waits";
  char buffer[16];
  pair.client.StartTimeout(10000);
  const uint64_t start = MonotonicMilliseconds();
  EXPECT_EQ(pair.client.Receive(buffer, sizeof buffer), kSocketError);
  EXPECT_LT(MonotonicMilliseconds() - start, 1000u);
  EXPECT_FALSE(pair.client.IsOpen());

  // The cancel was used up: the next call waits normally.
  Pair next;
  ASSERT_TRUE(next.server);
  next.server->Send("ok", 2);
  EXPECT_EQ(next.client.Receive(buffer, sizeof buffer), 2);
}

TEST(SocketCancel, QueuesLastFromFirstUseUntilTheThreadEndsOrFromOpenUntilClose) {
  uint32_t id = 0;
  std::promise<void> used;
  std::promise<void> finish;
  std::thread user([&] {
    InitializeSockets();
    id = CurrentThreadId();
    used.set_value();
    finish.get_future().wait();
  });
  used.get_future().wait();
  EXPECT_TRUE(PostSocketCancel(id));
  CloseCancelQueue(id);
  EXPECT_TRUE(PostSocketCancel(id)) << "a queue the thread uses stays while it lives";
  finish.set_value();
  user.join();
  EXPECT_FALSE(PostSocketCancel(id)) << "the thread has ended";

  OpenCancelQueue(id);  // as for a thread that has a context
  EXPECT_TRUE(PostSocketCancel(id));
  CloseCancelQueue(id);
  EXPECT_FALSE(PostSocketCancel(id));
}

}  // namespace
}  // namespace quorvel::platform
