// The SMTP client against servers that misbehave on purpose: one that stops
// reading in the middle of the data, one that never ends its reply, one that
// refuses DATA or never answers the end of data and then ignores QUIT; and
// addresses that try to smuggle a second command onto the wire.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <vector>

#include "ScriptedServer.h"
#include "ScriptedSmtp.h"
#include "protocol/SmtpClient.h"
#include "platform/Clock.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// The callback has no user value: the test's hook and error events are global.
std::mutex hookLock;
std::function<void(uint32_t, uint32_t)> hook;
std::vector<uint32_t> errorIds;

void Callback(uint32_t event, uint32_t argument) {
  std::function<void(uint32_t, uint32_t)> run;
  {
    std::lock_guard hold(hookLock);
    if (event == kSmtpError) errorIds.push_back(argument);
    run = hook;
  }
  if (run) run(event, argument);
}

class SmtpHostileServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::lock_guard hold(hookLock);
    hook = nullptr;
    errorIds.clear();
  }
  void TearDown() override {
    EXPECT_FALSE(serverGaveUp) << "the client waited until the server closed";
    std::lock_guard hold(hookLock);
    hook = nullptr;
  }
  void SetHook(std::function<void(uint32_t, uint32_t)> run) {
    std::lock_guard hold(hookLock);
    hook = std::move(run);
  }
  std::vector<uint32_t> ErrorIds() {
    std::lock_guard hold(hookLock);
    return errorIds;
  }
  std::unique_ptr<SmtpClient> NewClient() {
    auto client = std::make_unique<SmtpClient>(nullptr, nullptr, nullptr);
    client->SetCallback(Callback);
    return client;
  }

  // Until the test releases it (once the client has given up), the scripted
  // server neither reads nor answers; the bound only keeps a failing test
  // from hanging.
  void WaitForRelease() {
    if (released.wait_for(std::chrono::seconds(20)) != std::future_status::ready) serverGaveUp = true;
  }
  std::atomic<bool> serverGaveUp{false};
  // Says 354 to DATA, then reads no more.
  void StopReadingAfter354(ServerSide& side) {
    AcceptUpToData(side);
    side.Send("354 go ahead\r\n");
    WaitForRelease();
  }
  std::promise<void> clientDone;
  std::shared_future<void> released = clientDone.get_future().share();
};

// More than the loopback buffers of both ends hold, so a server that stops
// reading blocks the sender.
const std::string kHugeData(16 * 1024 * 1024, 'x');

TEST_F(SmtpHostileServerTest, ServerThatStopsReadingDuringDataEndsTheSendAtTheTimeout) {
  ScriptedServer server([this](ServerSide& side) { StopReadingAfter354(side); });
  auto client = NewClient();
  ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
  // The dialogue runs under the default time-out; the data under a short one.
  SetHook([&](uint32_t event, uint32_t) {
    if (event == kSmtpDataStart) client->SetTimeout(100);
  });
  EXPECT_FALSE(client->SendMailData("a@example.test", "b@example.test", kHugeData));
  EXPECT_EQ(client->lastErrorId(), kSmtpSendFailed);
  clientDone.set_value();
}

TEST_F(SmtpHostileServerTest, ReplyTrickledByteByByteEndsAtTheTimeoutOfTheWholeReply) {
  ScriptedServer server([this](ServerSide& side) {
    side.Send("220 ");
    // A byte at a time and never a line end, until the client has gone
    // (or for about 20 s, which only a failing client lets happen).
    for (int sent = 0; side.Send("x"); ++sent) {
      if (sent == 4000) {
        serverGaveUp = true;
        return;
      }
      platform::SleepMilliseconds(5);
    }
  });
  auto client = NewClient();
  client->SetTimeout(100);
  EXPECT_FALSE(client->Connect("127.0.0.1", server.port()));
  EXPECT_EQ(client->lastErrorId(), kSmtpReceiveFailed);
  EXPECT_EQ(ErrorIds(), std::vector<uint32_t>{kSmtpReceiveFailed});
}

// After a failed transaction the client's destructor says QUIT; the server
// below never answers it. The first failure must stay the one reported.
TEST_F(SmtpHostileServerTest, RefusedDataStaysTheReportedErrorAndQuitWaitsBriefly) {
  ScriptedServer server([this](ServerSide& side) {
    AcceptUpToData(side);
    side.Send("554 no data today\r\n");
    side.ReadLine();  // QUIT, never answered
    WaitForRelease();
  });
  uint32_t lastErrorId = 0;
  {
    auto client = NewClient();
    client->SetTimeout(3600 * 1000);
    client->SetClosingTimeout(50);
    ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
    EXPECT_FALSE(client->SendMailData("a@example.test", "b@example.test", "x\r\n"));
    EXPECT_EQ(client->lastErrorId(), kSmtpTransactionRefused);
    EXPECT_FALSE(client->Disconnect()) << "no 221 came";
    lastErrorId = client->lastErrorId();
    EXPECT_FALSE(client->IsConnected());
    EXPECT_EQ(client->timeout(), 3600 * 1000u) << "the short wait was for the QUIT only";
  }
  clientDone.set_value();
  EXPECT_EQ(lastErrorId, kSmtpTransactionRefused);
  EXPECT_EQ(ErrorIds(), std::vector<uint32_t>{kSmtpTransactionRefused});
  EXPECT_TRUE(server.transcript().ends_with("DATA\r\nQUIT\r\n"));
}

TEST_F(SmtpHostileServerTest, NoAnswerAfterTheDataStaysTheReportedError) {
  ScriptedServer server([this](ServerSide& side) {
    AcceptUpToData(side);
    side.Send("354 go ahead\r\n");
    side.ReadUntil("\r\n.\r\n");
    WaitForRelease();
  });
  {
    auto client = NewClient();
    ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
    SetHook([&](uint32_t event, uint32_t) {
      if (event == kSmtpDataStart) client->SetTimeout(100);
    });
    EXPECT_FALSE(client->SendMailData("a@example.test", "b@example.test", "x\r\n"));
    EXPECT_EQ(client->lastErrorId(), kSmtpReceiveFailed);
    SetHook(nullptr);
  }  // the destructor has nothing left to say QUIT on
  clientDone.set_value();
  EXPECT_EQ(ErrorIds(), std::vector<uint32_t>{kSmtpReceiveFailed});
  EXPECT_TRUE(server.transcript().ends_with("x\r\n\r\n.\r\n"));
}

TEST_F(SmtpHostileServerTest, ReplyCutShortByTheServerClosingIsJudgedOnWhatCame) {
  ScriptedServer server([](ServerSide& side) {
    side.Send("220 ready\r\n");
    side.ReadLine();
    side.Send("250 hello\r\n");
    side.ReadLine();  // QUIT
    side.Send("221 bye");  // no line end: the server closes instead
  });
  auto client = NewClient();
  ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
  EXPECT_TRUE(client->Disconnect());
  EXPECT_EQ(client->lastReply(), "221 bye");
  EXPECT_EQ(ErrorIds(), std::vector<uint32_t>{});
}

TEST_F(SmtpHostileServerTest, AddressesThatWouldBreakTheCommandAreRefusedBeforeSending) {
  struct Case {
    std::string from;
    std::string recipient;
    uint32_t errorId;
  };
  const std::string good = "pupil@example.test";
  const std::vector<Case> cases = {
      {good, "tutor@example.test\r\nRCPT TO: <victim@elsewhere.test>", kSmtpRecipientRefusedOrFileUnread},
      {good, "tutor@example.test\n", kSmtpRecipientRefusedOrFileUnread},
      {good, "tutor@example.test\r", kSmtpRecipientRefusedOrFileUnread},
      {good, std::string("tutor@example.test\0x", 20), kSmtpRecipientRefusedOrFileUnread},
      {good, "tutor@example.test> NOTIFY=NEVER", kSmtpRecipientRefusedOrFileUnread},
      {good, "<tutor@example.test", kSmtpRecipientRefusedOrFileUnread},
      {"pupil@example.test>\r\nRCPT TO: <victim@elsewhere.test", "tutor@example.test",
       kSmtpTransactionRefused},
      {std::string("pupil\0@example.test", 19), "tutor@example.test", kSmtpTransactionRefused},
      {"<pupil@example.test", "tutor@example.test", kSmtpTransactionRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from + " / " + c.recipient);
    ScriptedServer server(ServeSmtpSession);
    auto client = NewClient();
    ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
    EXPECT_FALSE(client->SendMailData(c.from, c.recipient, "x\r\n"));
    EXPECT_EQ(client->lastErrorId(), c.errorId);
    EXPECT_TRUE(client->IsConnected()) << "refused like a recipient the server refuses";
    EXPECT_TRUE(client->Disconnect());
    EXPECT_EQ(client->lastErrorId(), c.errorId) << "QUIT does not hide the refusal";
    EXPECT_FALSE(client->Connect("", 25));
    EXPECT_EQ(client->lastErrorId(), kSmtpConnectFailed) << "later failures are reported again";
    const std::string& transcript = server.transcript();
    EXPECT_EQ(transcript.substr(transcript.find('\n') + 1), "QUIT\r\n")
        << "nothing of the transaction reached the server";
  }
}

}  // namespace
}  // namespace quorvel
