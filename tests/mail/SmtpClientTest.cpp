// The SMTP dialogue against scripted loopback servers: the bytes on the wire,
// the events in order, the error identifiers, time-out, stop and suspend (a
// posted cancel fails the blocked receive as a time-out does: see the
// platform's socket tests).
#include "protocol/SmtpClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <vector>

#include "ScriptedPop.h"
#include "ScriptedServer.h"
#include "ScriptedSmtp.h"
#include "TempDirectory.h"
#include "WaitUntil.h"
#include "frame/Library.h"
#include "platform/Faults.h"
#include "platform/Threads.h"
#include "platform/WindowMessages.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

struct Event {
  char target;  // 'w' the window, 'c' the callback
  uint32_t code;
  uint32_t argument;
  bool operator==(const Event&) const = default;
};

// Events of the current test; the callback has no user value, hence a global.
std::mutex eventLock;
std::vector<Event> events;
std::function<void(uint32_t, uint32_t)> onEvent;

void RecordCallback(uint32_t code, uint32_t argument) {
  {
    std::lock_guard hold(eventLock);
    events.push_back({'c', code, argument});
  }
  if (onEvent) onEvent(code, argument);
}

intptr_t RecordWindow(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  EXPECT_EQ(message, SmtpMessageNumber());
  std::lock_guard hold(eventLock);
  events.push_back({'w', static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam)});
  return 0;
}

std::vector<std::pair<uint32_t, uint32_t>> CallbackEvents() {
  std::lock_guard hold(eventLock);
  std::vector<std::pair<uint32_t, uint32_t>> result;
  for (const Event& event : events) {
    if (event.target == 'c') result.emplace_back(event.code, event.argument);
  }
  return result;
}

std::vector<uint32_t> Percentages() {
  std::vector<uint32_t> result;
  for (const auto& [code, argument] : CallbackEvents()) {
    if (code == kSmtpProgress) result.push_back(argument);
  }
  return result;
}

std::string HostName() {
  std::ifstream in("/proc/sys/kernel/hostname");
  std::string name;
  std::getline(in, name);
  return name;
}

class SmtpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    events.clear();
    onEvent = nullptr;
  }
  void TearDown() override { onEvent = nullptr; }

  // A client reporting to both the window and the callback.
  std::unique_ptr<SmtpClient> NewClient() {
    auto client = std::make_unique<SmtpClient>(&stop, &suspend, &percent);
    client->SetWindow(window.handle());
    client->SetCallback(RecordCallback);
    return client;
  }

  std::atomic<uint8_t> stop{0};
  std::atomic<uint8_t> suspend{0};
  std::atomic<int32_t> percent{-5};
  platform::MessageWindow window{RecordWindow};
};

TEST_F(SmtpClientTest, DialogueEventsAndDotsAreExact) {
  ScriptedServer server(ServeSmtpSession);
  auto client = NewClient();
  EXPECT_EQ(percent.load(), 0) << "the constructor resets the percentage";
  ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
  const std::string data = "Subject: dots\r\n\r\n.hidden\r\n.\r\n..two\r\nlast\r\n";
  ASSERT_TRUE(client->SendMailData("pupil@example.test", "tutor@example.test", data));
  EXPECT_EQ(percent.load(), 100);
  ASSERT_TRUE(client->Disconnect());
  EXPECT_FALSE(client->IsConnected());

  EXPECT_EQ(server.transcript(),
            "HELO " + HostName() + "\r\n"
            "MAIL FROM: <pupil@example.test>\r\n"
            "RCPT TO: <tutor@example.test>\r\n"
            "DATA\r\n"
            "Subject: dots\r\n\r\n..hidden\r\n..\r\n...two\r\nlast\r\n"
            "\r\n.\r\n"
            "QUIT\r\n");

  const std::vector<std::pair<uint32_t, uint32_t>> expected = {
      {1, 0}, {12, 0}, {2, 0},                                 // connect, no 12 after HELO
      {5, 0}, {12, 0}, {6, 0}, {12, 0}, {7, 0},                // MAIL, RCPT, DATA
      {10, static_cast<uint32_t>(data.size())}, {8, 0}, {11, 0},  // the file's own size
      {12, 0}, {9, 0}, {11, 100},                              // end of data accepted
      {3, 0}, {12, 0}, {4, 0}};                                // QUIT
  EXPECT_EQ(CallbackEvents(), expected);
  std::lock_guard hold(eventLock);
  ASSERT_EQ(events.size(), 2 * expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(events[2 * i], (Event{'w', expected[i].first, expected[i].second})) << i;
    EXPECT_EQ(events[2 * i + 1], (Event{'c', expected[i].first, expected[i].second})) << i;
  }
}

TEST_F(SmtpClientTest, LeadingDotsAreDoubledAcrossPieceBoundaries) {
  ScriptedServer server(ServeSmtpSession);
  auto client = NewClient();
  ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
  // The data's first line begins with a dot; the first piece ends with a line
  // end, so the second begins a line; the third piece begins in the middle of
  // a line that began with a dot.
  const std::string first = "." + std::string(2045, 'a') + "\r\n";
  const std::string second = ".dot\r\n." + std::string(2041, 'b');
  const std::string data = first + second + ".c\r\nend\r\n";
  ASSERT_TRUE(client->SendMailData("a@example.test", "b@example.test", data));
  client->Disconnect();
  const std::string stuffed = "." + first + "..dot\r\n.." + std::string(2041, 'b') + ".c\r\nend\r\n";
  EXPECT_NE(server.transcript().find("DATA\r\n" + stuffed + "\r\n.\r\nQUIT"), std::string::npos);
  // 4105 bytes of the file: 2048 and 4096 sent are 49.9 and 99.8 percent.
  EXPECT_EQ(Percentages(), (std::vector<uint32_t>{0, 49, 99, 100}));
}

TEST_F(SmtpClientTest, ConnectingWhileConnectedEndsTheFirstSessionWithQuit) {
  ScriptedServer first(ServeSmtpSession);
  ScriptedServer second(ServeSmtpSession);
  auto client = NewClient();
  ASSERT_TRUE(client->Connect("127.0.0.1", first.port()));
  events.clear();
  ASSERT_TRUE(client->Connect("127.0.0.1", second.port()));
  EXPECT_TRUE(first.transcript().ends_with("QUIT\r\n"));
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {
      {3, 0}, {12, 0}, {4, 0}, {1, 0}, {12, 0}, {2, 0}};
  EXPECT_EQ(CallbackEvents(), expected);
}

// A connection the server ends before the dialogue: each way gives its
// identifier, reported last, and the client closes without a word.
TEST_F(SmtpClientTest, GreetingsThatNeverComeFailTheConnectWithTheirIds) {
  const struct {
    const char* what;
    ScriptedServer::Script script;
    uint32_t errorId;
  } cases[] = {
      {"refused", [](ServerSide& side) { side.Send("554 no service\r\n"); side.WaitForClose(); },
       kSmtpBadGreeting},
      {"never answered (time-out)", [](ServerSide& side) { side.WaitForClose(); }, kSmtpReceiveFailed},
      {"closed instead", [](ServerSide& side) { side.Close(); }, kSmtpServerClosed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    events.clear();
    ScriptedServer server(c.script);
    auto client = NewClient();
    client->SetTimeout(150);
    EXPECT_FALSE(client->Connect("127.0.0.1", server.port()));
    EXPECT_EQ(client->lastErrorId(), c.errorId);
    EXPECT_FALSE(client->IsConnected());
    client.reset();
    EXPECT_EQ(server.transcript(), "");
    const auto seen = CallbackEvents();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), std::make_pair(static_cast<uint32_t>(kSmtpError), c.errorId));
  }
}

TEST_F(SmtpClientTest, RecipientAnsweredWith251FailsWithId12) {
  ScriptedServer server(
      [](ServerSide& side) { RefuseTheRecipient(side, "251 user not local; will forward\r\n"); });
  auto client = NewClient();
  ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
  EXPECT_FALSE(client->SendMailData("a@example.test", "b@example.test", "x\r\n"));
  EXPECT_EQ(client->lastErrorId(), kSmtpRecipientRefusedOrFileUnread);
  EXPECT_TRUE(client->IsConnected()) << "a refused transaction keeps the connection";
}

// Each piece is one packet: the greeting in two, the HELO reply's two lines
// in two.
TEST_F(SmtpClientTest, RepliesSplitAcrossPacketsAreReadWhole) {
  std::string sent;
  auto client = NewClient();
  client->UseSocket(std::make_unique<TurnSocket>(
      std::vector<TurnSocket::Reply>{{"22", "0 ready\r\n"},
                                     {"250-hello\r\n", "250 at your service\r\n"},
                                     {"250 ok\r\n"}, {"250 ok\r\n"}, {"354 go\r\n"},
                                     {"250 queued\r\n"}, {"221 bye\r\n"}},
      &sent));
  ASSERT_TRUE(client->Connect("127.0.0.1", 25));
  // The rest of a split reply must not pass for the next reply.
  ASSERT_TRUE(client->SendMailData("a@example.test", "b@example.test", "x\r\n"));
  EXPECT_EQ(client->lastReply(), "250 queued\r\n");
  EXPECT_TRUE(client->Disconnect());
}

TEST_F(SmtpClientTest, StopRequestDuringDataEndsAtTheNextPiece) {
  ScriptedServer server(ServeSmtpSession);
  auto client = NewClient();
  ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
  onEvent = [&](uint32_t code, uint32_t argument) {
    if (code == kSmtpProgress && argument == 40) stop = 1;
  };
  EXPECT_FALSE(client->SendMailData("a@example.test", "b@example.test", std::string(5000, 'y')));
  EXPECT_EQ(stop.load(), 0) << "the client clears the request it obeys";
  EXPECT_EQ(client->lastErrorId(), kSmtpNoError);
  EXPECT_FALSE(client->IsConnected());
  EXPECT_EQ(Percentages(), (std::vector<uint32_t>{0, 40}));
  EXPECT_EQ(percent.load(), 40);
}

TEST_F(SmtpClientTest, SuspendDuringDataHoldsTheNextPieceUntilResumed) {
  ScriptedServer server(ServeSmtpSession);
  onEvent = [&](uint32_t code, uint32_t argument) {
    if (code == kSmtpProgress && argument == 40) suspend = 1;
  };
  std::atomic<bool> result{false};
  auto worker = platform::Thread::Create([&] {
    auto client = NewClient();
    if (client->Connect("127.0.0.1", server.port())) {
      result = client->SendMailData("a@example.test", "b@example.test", std::string(5000, 'z'));
      client->Disconnect();
    }
    return 0u;
  }, false);
  ASSERT_TRUE(worker);
  EXPECT_TRUE(WaitUntil([&] { return suspend == 0 && worker->IsSuspended(); }));
  ASSERT_TRUE(worker->IsSuspended());
  EXPECT_EQ(Percentages(), (std::vector<uint32_t>{0, 40}));
  EXPECT_EQ(percent.load(), 40);
  ASSERT_TRUE(worker->Resume());
  ASSERT_TRUE(worker->Wait(10000));
  EXPECT_TRUE(result);
  EXPECT_EQ(Percentages(), (std::vector<uint32_t>{0, 40, 81, 100}));
}

TEST_F(SmtpClientTest, FileAndConnectionPreconditions) {
  TempDirectory directory;
  auto client = NewClient();
  EXPECT_TRUE(client->Disconnect()) << "nothing to say goodbye to";
  EXPECT_FALSE(client->SendMailData("a@x", "b@x", "data\r\n"));
  EXPECT_EQ(client->lastErrorId(), kSmtpNotConnected);
  EXPECT_FALSE(client->Connect("", 25));
  EXPECT_EQ(client->lastErrorId(), kSmtpConnectFailed);

  WriteFile(directory / "empty.eml", "");
  EXPECT_FALSE(client->SendMailFile("a@x", "b@x", directory / "empty.eml"));
  EXPECT_EQ(client->lastErrorId(), kSmtpFileEmpty);
  EXPECT_FALSE(client->SendMailFile("a@x", "b@x", directory / "missing.eml"));
  EXPECT_EQ(client->lastErrorId(), kSmtpFileNotOpened);
  for (const auto& [code, argument] : CallbackEvents()) EXPECT_EQ(code, kSmtpError) << "no command was sent";
  EXPECT_FALSE(client->Connect("127.0.0.1", ClosedLoopbackPort()));
  EXPECT_EQ(client->lastErrorId(), kSmtpConnectFailed) << "refused, not a failed greeting";
}

// A file of several read blocks goes out whole, from a buffer of one block,
// with the dots of every line doubled, and ends at its first NUL byte.
TEST_F(SmtpClientTest, LargeFilesGoOutWholeUpToTheirFirstNul) {
  TempDirectory directory;
  std::string lines, stuffed;
  for (int i = 0; lines.size() < 200000; ++i) {
    const std::string text = std::to_string(i) + std::string(static_cast<size_t>(i % 90), 'x');
    lines += "." + text + "\r\n";
    stuffed += ".." + text + "\r\n";
  }
  WriteFile(directory / "m.eml", lines + std::string("\0after the NUL\r\n", 17));
  ScriptedServer server(ServeSmtpSession);
  auto client = NewClient();
  ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
  ASSERT_TRUE(client->SendMailFile("a@x", "b@x", directory / "m.eml"));
  client->Disconnect();
  EXPECT_NE(server.transcript().find("DATA\r\n" + stuffed + "\r\n.\r\nQUIT\r\n"), std::string::npos);
  const auto seen = CallbackEvents();
  const auto size = std::find_if(seen.begin(), seen.end(),
                                 [](const auto& event) { return event.first == kSmtpMessageSize; });
  ASSERT_NE(size, seen.end());
  EXPECT_EQ(size->second, lines.size());
  EXPECT_EQ(Percentages().size(), (lines.size() + kSmtpPieceSize - 1) / kSmtpPieceSize + 1);

  // A read that fails while the data goes out (the file's first pass took
  // four blocks) closes the connection: the server never sees the end of data.
  ScriptedServer second(ServeSmtpSession);
  ASSERT_TRUE(client->Connect("127.0.0.1", second.port()));
  platform::FileFaults faults;
  faults.Fail(platform::FileOperation::Read, 6);
  EXPECT_FALSE(client->SendMailFile("a@x", "b@x", directory / "m.eml"));
  EXPECT_TRUE(faults.Fired());
  EXPECT_EQ(client->lastErrorId(), kSmtpRecipientRefusedOrFileUnread);
  client->Disconnect();
  EXPECT_EQ(second.transcript().find("\r\n.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace quorvel
