// Time-outs and posted cancels of blocking socket calls.
#include "platform/Sockets.h"
#include "platform/testing/LoopbackListener.h"

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

// An expired timer closes its own socket and fails its receive; another socket's cancels nothing.
TEST(SocketTimeout, ExpiresCloseTheSocketAndFailTheReceive) {
  Pair pair, idle, other;
  ASSERT_TRUE(pair.server && idle.server && other.server);
  EXPECT_TRUE(pair.client.StopTimeout()) << "no timer running";
  pair.client.StartTimeout(100);
  EXPECT_NE(pair.client.timerId(), 0u);
  char buffer[16];
  const uint64_t start = MonotonicMilliseconds();
  EXPECT_EQ(pair.client.Receive(buffer, sizeof buffer), kSocketError);
  EXPECT_GE(MonotonicMilliseconds() - start, 95u);
  EXPECT_FALSE(pair.client.IsOpen());
  EXPECT_EQ(pair.client.timerId(), 0u) << "the expired timer is used up";
  EXPECT_TRUE(pair.client.StopTimeout());
  idle.client.StartTimeout(0);  // has expired before the other socket waits
  std::thread peer([&] { other.server->Send("hi", 2); });
  other.client.StartTimeout(5000);
  EXPECT_EQ(other.client.Receive(buffer, sizeof buffer), 2);
  EXPECT_TRUE(other.client.StopTimeout());
  EXPECT_EQ(other.client.timerId(), 0u);
  peer.join();
  EXPECT_TRUE(idle.client.IsOpen());
  EXPECT_TRUE(other.client.IsOpen());
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
  EXPECT_LT(MonotonicMilliseconds() - start, 9000u) << "not the time-out of 10 s";
  EXPECT_FALSE(pair.client.IsOpen());

  // The cancel was used up: the next call waits normally.
  Pair next;
  ASSERT_TRUE(next.server);
  next.server->Send("ok", 2);
  EXPECT_EQ(next.client.Receive(buffer, sizeof buffer), 2);
}

// A thread that readies itself for socket calls, then waits until the test lets it end.
struct SocketUser {
  void End() {
    finish.set_value();
    thread.join();
  }
  std::promise<uint32_t> ready;
  std::promise<void> finish;
  std::thread thread{[this] {
    InitializeSockets();
    ready.set_value(CurrentThreadId());
    finish.get_future().wait();
  }};
  const uint32_t id = ready.get_future().get();
};

TEST(SocketCancel, AThreadIsReachableWhileItUsesSocketsOrAContextHoldsItsQueue) {
  SocketUser alone;
  EXPECT_TRUE(PostSocketCancel(alone.id));
  OpenCancelQueue(alone.id);  // a context comes and goes
  CloseCancelQueue(alone.id);
  EXPECT_TRUE(PostSocketCancel(alone.id)) << "the thread still uses its queue";
  alone.End();
  EXPECT_FALSE(PostSocketCancel(alone.id)) << "the thread has ended";

  SocketUser withContext;
  OpenCancelQueue(withContext.id);
  withContext.End();
  EXPECT_TRUE(PostSocketCancel(withContext.id)) << "its context outlives it";
  CloseCancelQueue(withContext.id);
  EXPECT_FALSE(PostSocketCancel(withContext.id));
}

// Every address family the resolver gives; a host's refusing address passes
// the turn to the next one within the same call.
TEST(SocketConnect, ReachesIpv6AndIpv4AndFailsWhereNothingListens) {
  struct Case {
    const char* host;
    bool ipv6Listener;
  };
  for (const Case& c : {Case{"::1", true}, Case{"127.0.0.1", false}, Case{"localhost", false}}) {
    SCOPED_TRACE(c.host);
    auto listener = LoopbackListener::Open(0, c.ipv6Listener);
    if (!listener) GTEST_SKIP() << "no IPv6 loopback on this machine";
    TimeoutSocket client;
    ASSERT_TRUE(client.Create());
    ASSERT_TRUE(client.SetReceiveTimeoutOption(5000));
    ASSERT_TRUE(client.Connect(c.host, listener->Port()));
    auto server = listener->Accept(5000);
    ASSERT_TRUE(server);
    ASSERT_EQ(server->Send("hi", 2), 2);
    char buffer[2];
    EXPECT_EQ(client.Receive(buffer, 2), 2);
    const uint16_t port = listener->Port();
    listener.reset();
    TimeoutSocket refused;
    ASSERT_TRUE(refused.Create());
    EXPECT_FALSE(refused.Connect(c.host, port));
  }
  TimeoutSocket unknown;
  ASSERT_TRUE(unknown.Create());
  // A label longer than 63 characters fails in the resolver itself: no query leaves the machine.
  EXPECT_FALSE(unknown.Connect(std::string(64, 'a') + ".invalid", 25));
}

TEST(SocketTls, AClosedOrPlainPeerFailsTheHandshakeWithAReason) {
  Pair pair;
  ASSERT_TRUE(pair.server);
  ASSERT_EQ(pair.server->Send("220 not TLS\r\n", 13), 13);
  std::string failure;
  pair.client.StartTimeout(5000);
  EXPECT_FALSE(pair.client.StartTls({"localhost", "", true}, failure));
  EXPECT_NE(failure.find("handshake failed: "), std::string::npos) << failure;  // + the reason
  EXPECT_FALSE(pair.client.IsOpen());
  EXPECT_FALSE(pair.client.IsSecure());
  EXPECT_FALSE(pair.client.StartTls({"localhost", "", true}, failure));
  EXPECT_EQ(failure, "the connection is closed");
}

}  // namespace
}  // namespace quorvel::platform
