// The SMTP client against scripted loopback servers: dialogues kept as files under
// tests/data/smtp (the format: its README), hostile servers, message files,
// and a stalled TLS handshake.
#include "protocol/SmtpClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <tuple>

#include "Dialogue.h"
#include "FaultSweep.h"
#include "ScriptedSmtp.h"
#include "frame/Library.h"
#include "platform/Faults.h"
#include "platform/Threads.h"
#include "platform/WindowMessages.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

class SmtpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clientEvents.clear();
    clientWindowMessage = SmtpMessageNumber();
  }
  void TearDown() override { onClientEvent = nullptr; }

  // A client reporting to both the window and the callback.
  std::unique_ptr<SmtpClient> NewClient() {
    auto client = std::make_unique<SmtpClient>(nullptr, nullptr, &percent);
    client->SetWindow(window.handle());
    client->SetCallback(RecordCallback);
    return client;
  }

  std::atomic<int32_t> percent{-5};
  platform::MessageWindow window{RecordWindow};
};

std::string renewal;
uint32_t Renew(const char* user, char* token, uint32_t capacity, uint32_t) {
  EXPECT_STREQ(user, "pupil");
  return static_cast<uint32_t>(renewal.copy(token, capacity));
}

TEST_F(SmtpClientTest, TheDialoguesOfTheDataDirectory) {
  for (const KeyedCase& c : KeyedCases("smtp")) {
    SCOPED_TRACE(c.name);
    clientEvents.clear();
    Dialogue dialogue(c);
    renewal = c.Get("renewed-token");
    {
      auto client = NewClient();
      EXPECT_EQ(percent.load(), 0) << "the constructor resets the percentage";
      if (c.Has("tls")) {
        TransportSecurity security;
        security.smtpTls = c.Number("tls");
        security.smtpUser = c.Get("user");
        security.smtpPassword = c.Get("password");
        security.smtpOAuthToken = c.Get("token");
        if (!renewal.empty()) security.tokenCallback = Renew;
        security.caFile = "/school/ca.pem";
        client->SetSecurity(security);
      }
      client->UseSocket(dialogue.Socket());
      if (c.Has("timeout")) client->SetTimeout(c.Number("timeout"));
      if (c.Has("closing-timeout")) client->SetClosingTimeout(c.Number("closing-timeout"));
      onClientEvent = [&](uint32_t code, uint32_t) {
        if (code == kSmtpDataStart && c.Has("data-timeout")) {
          client->SetTimeout(c.Number("data-timeout"));
        }
      };
      const std::string host = c.Get("host", "smtp.school.example");
      EXPECT_EQ(client->Connect(host, 25), c.Get("connects", "1") == "1");
      if (c.Has("to")) {
        EXPECT_EQ(client->SendMailData(c.Get("from"), c.Get("to"), c.Get("data", "x\r\n")),
                  c.Get("sends", "1") == "1");
      }
      onClientEvent = nullptr;
      c.Check("connected", client->IsConnected() ? "1" : "0");
      if (c.Has("disconnects")) {
        EXPECT_EQ(client->Disconnect(), c.Get("disconnects") == "1");
        EXPECT_FALSE(client->IsConnected());
      }
      EXPECT_EQ(std::to_string(client->lastErrorId()), c.Get("error", "0"));
      c.Check("timeout", std::to_string(client->timeout()));
      c.Check("reply", client->lastReply());
      c.Check("reported", CallbackEvents(kSmtpError));
      c.Check("progress", CallbackEvents(kSmtpProgress));
      c.Check("events", CallbackEvents());
      c.Check("percent", std::to_string(percent.load()));
    }
    EXPECT_EQ(dialogue.Sent(), dialogue.Expected());
    const DialogueEnd& end = dialogue.end();
    c.Check("secured", std::string(1, end.secured));
    if (end.secured != '-') {
      EXPECT_EQ(std::tie(end.tls.hostName, end.tls.caFile, end.tls.verify),
                std::make_tuple("smtp.school.example", "/school/ca.pem", true));
    }
  }
}

// A server that stops reading amid the data (more than both ends' loopback buffers hold): a
// short time-out for the data ends the send.
TEST_F(SmtpClientTest, AServerThatStopsReadingEndsTheDataAtTheTimeout) {
  std::promise<void> clientDone;
  // Until the client has given up; the bound only keeps a failing test from hanging.
  ScriptedServer server([done = clientDone.get_future().share()](ServerSide& side) {
    side.Send("220 ready\r\n");
    for (std::string line; line != "DATA" && side.NextLine(line);) {
      side.Send(line == "DATA" ? "354 go ahead\r\n" : "250 ok\r\n");
    }
    EXPECT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  });
  auto client = NewClient();
  ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
  onClientEvent = [&client](uint32_t code, uint32_t) {
    if (code == kSmtpDataStart) client->SetTimeout(100);
  };
  const std::string data(16 << 20, 'x');
  EXPECT_FALSE(client->SendMailData("a@example.test", "b@example.test", data));
  onClientEvent = nullptr;
  EXPECT_EQ(client->lastErrorId(), kSmtpSendFailed);
  clientDone.set_value();
}

TEST_F(SmtpClientTest, MessageFilesEmptyMissingUnreadableOrLarge) {
  TempDirectory directory;
  auto client = NewClient();
  WriteFile(directory / "empty.eml", "");
  EXPECT_FALSE(client->SendMailFile("a@x", "b@x", directory / "empty.eml"));
  EXPECT_EQ(client->lastErrorId(), kSmtpFileEmpty);
  EXPECT_FALSE(client->SendMailFile("a@x", "b@x", directory / "missing.eml"));
  EXPECT_EQ(client->lastErrorId(), kSmtpFileNotOpened);
  EXPECT_EQ(CallbackEvents(), "13:13 13:11") << "errors alone: no command was sent";
  // An unreadable message file is logged at the reading site, reported unread.
  WriteFile(directory / "m.eml", "Subject: file\r\n\r\nbody\r\n");
  const auto send = [&](const std::string&) {
    client->SendMailFile("a@x", "b@x", directory / "m.eml");
  };
  const auto check = [&](const std::string& failing) {
    const uint32_t error = client->lastErrorId();
    EXPECT_TRUE(failing == "nothing" ? error == kSmtpNotConnected
                                     : error == kSmtpFileNotOpened ||
                                           error == kSmtpRecipientRefusedOrFileUnread)
        << failing << ": " << error;
  };
  EXPECT_EQ(SweepFileFaults(send, check), (std::set<uint32_t>{kLocationSmtpReadFile}));

  // A file of several read blocks goes out whole, from a buffer of one block, with the dots of
  // every line doubled, and ends at its first NUL byte.
  std::string lines, stuffed;
  for (int i = 0; lines.size() < 200000; ++i) {
    const std::string text = std::to_string(i) + std::string(static_cast<size_t>(i % 90), 'x');
    lines += "." + text + "\r\n";
    stuffed += ".." + text + "\r\n";
  }
  WriteFile(directory / "m.eml", lines + std::string("\0after the NUL\r\n", 17));
  ScriptedServer server(ServeSmtpSession);
  ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
  ASSERT_TRUE(client->SendMailFile("a@x", "b@x", directory / "m.eml"));
  EXPECT_EQ(CallbackEvents(kSmtpMessageSize), std::to_string(lines.size()));
  const std::string percents = CallbackEvents(kSmtpProgress);
  EXPECT_EQ(static_cast<size_t>(std::count(percents.begin(), percents.end(), ' ')),
            (lines.size() + kSmtpPieceSize - 1) / kSmtpPieceSize);

  // Connecting while connected ends the first session with QUIT. A read failing amid the data
  // (the first pass took four blocks) closes the connection.
  ScriptedServer second(ServeSmtpSession);
  ASSERT_TRUE(client->Connect("127.0.0.1", second.port()));
  EXPECT_TRUE(server.transcript().ends_with("DATA\r\n" + stuffed + "\r\n.\r\nQUIT\r\n"));
  platform::FileFaults faults;
  faults.Fail(platform::FileOperation::Read, 6);
  EXPECT_FALSE(client->SendMailFile("a@x", "b@x", directory / "m.eml"));
  EXPECT_TRUE(faults.Fired());
  EXPECT_EQ(client->lastErrorId(), kSmtpRecipientRefusedOrFileUnread);
  client->Disconnect();
  EXPECT_EQ(second.transcript().find("\r\n.\r\n"), std::string::npos);
}

// A real TLS handshake that stalls (the server reads the client hello and
// never answers), abandoned by the time-out and by a cancel.
TEST(SmtpSecurity, AStalledHandshakeEndsByTheTimeoutOrAtOnceByACancel) {
  for (const bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancel" : "time-out");
    const uint32_t client = platform::CurrentThreadId();
    ScriptedServer stalling([&](ServerSide& side) {
      if (side.ReadUntil("\x16\x03") && cancel) platform::PostSocketCancel(client);
      side.WaitForClose();
    });
    SmtpClient smtp(nullptr, nullptr, nullptr);
    TransportSecurity security;
    security.smtpTls = kTlsImplicit;
    smtp.SetSecurity(security);
    // Without the cancel ending it, 90 s: beyond the test's own time limit.
    smtp.SetTimeout(cancel ? 90000 : 200);
    EXPECT_FALSE(smtp.Connect("127.0.0.1", stalling.port()));
    EXPECT_EQ(smtp.lastErrorId(), kSmtpTlsFailed);
    EXPECT_NE(smtp.tlsFailure().find("abandoned"), std::string::npos) << smtp.tlsFailure();
  }
}

}  // namespace
}  // namespace quorvel
