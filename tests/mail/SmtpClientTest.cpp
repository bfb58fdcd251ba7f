// The SMTP client against scripted loopback servers: dialogues kept as files
// under tests/data/smtp (the format: its README), the events in order, hostile
// servers, time-out, stop and suspend, and transport security.
#include "protocol/SmtpClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "FaultSweep.h"
#include "ScriptedPop.h"
#include "ScriptedServer.h"
#include "ScriptedSmtp.h"
#include "TempDirectory.h"
#include "WaitUntil.h"
#include "frame/Library.h"
#include "platform/Faults.h"
#include "platform/Sockets.h"
#include "platform/Threads.h"
#include "platform/WindowMessages.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// Events of the current test, each with its target ('w' the window, 'c' the
// callback); the callback has no user value, hence a global.
using Event = std::tuple<char, uint32_t, uint32_t>;
std::mutex eventLock;
std::vector<Event> events;
std::function<void(uint32_t, uint32_t)> onEvent;

void Record(char target, uint32_t code, uint32_t argument) {
  std::lock_guard hold(eventLock);
  events.emplace_back(target, code, argument);
}
void RecordCallback(uint32_t code, uint32_t argument) {
  Record('c', code, argument);
  if (onEvent) onEvent(code, argument);
}
intptr_t RecordWindow(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  EXPECT_EQ(message, SmtpMessageNumber());
  Record('w', static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam));
  return 0;
}

// The callback's events as "code:argument", or the arguments of those of one code.
std::string Callbacks(uint32_t only = 0) {
  std::lock_guard hold(eventLock);
  std::string text;
  for (const auto& [target, code, argument] : events) {
    if (target != 'c' || (only != 0 && code != only)) continue;
    text += (text.empty() ? "" : " ") + (only ? "" : std::to_string(code) + ":");
    text += std::to_string(argument);
  }
  return text;
}

class SmtpClientTest : public ::testing::Test {
 protected:
  void SetUp() override { events.clear(); }
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

// Connecting while connected ends the first session with QUIT.
TEST_F(SmtpClientTest, LeadingDotsAreDoubledAcrossPieceBoundaries) {
  ScriptedServer earlier(ServeSmtpSession), server(ServeSmtpSession);
  auto client = NewClient();
  EXPECT_EQ(percent.load(), 0) << "the constructor resets the percentage";
  ASSERT_TRUE(client->Connect("127.0.0.1", earlier.port()));
  ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
  EXPECT_TRUE(earlier.transcript().ends_with("QUIT\r\n"));
  EXPECT_EQ(Callbacks(), "1:0 12:0 2:0 3:0 12:0 4:0 1:0 12:0 2:0");
  // Pieces of 2048: the second begins a line, the third the middle of a dotted one.
  const std::string first = "." + std::string(2045, 'a') + "\r\n";
  const std::string second = ".dot\r\n." + std::string(2041, 'b');
  const std::string data = first + second + ".c\r\nend\r\n";
  ASSERT_TRUE(client->SendMailData("a@example.test", "b@example.test", data));
  client->Disconnect();
  const std::string stuffed =
      "." + first + "..dot\r\n.." + std::string(2041, 'b') + ".c\r\nend\r\n";
  EXPECT_NE(server.transcript().find("DATA\r\n" + stuffed + "\r\n.\r\nQUIT"), std::string::npos);
  // 4105 bytes of the file: 2048 and 4096 sent are 49.9 and 99.8 percent.
  EXPECT_EQ(Callbacks(kSmtpProgress), "0 49 99 100");
  EXPECT_EQ(percent.load(), 100);
  // Each event reaches the window, then the callback.
  std::lock_guard hold(eventLock);
  ASSERT_EQ(events.size() % 2, 0u);
  for (size_t i = 0; i < events.size(); i += 2) {
    EXPECT_EQ(events[i], (Event{'w', std::get<1>(events[i + 1]), std::get<2>(events[i + 1])})) << i;
    EXPECT_EQ(std::get<0>(events[i + 1]), 'c') << i;
  }
}

// Each piece one packet: the greeting in two, the HELO reply's two lines in two.
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

// A stop asked for at 40 % ends the data at the next piece; a suspend holds
// the next piece until the client's thread is resumed.
TEST_F(SmtpClientTest, StopAndSuspendDuringDataTakeEffectAtTheNextPiece) {
  for (std::atomic<uint8_t>* request : {&stop, &suspend}) {
    events.clear();
    ScriptedServer server(ServeSmtpSession);
    onEvent = [&](uint32_t code, uint32_t argument) {
      if (code == kSmtpProgress && argument == 40) *request = 1;
    };
    std::atomic<int> result{-1};
    auto worker = platform::Thread::Create([&] {
      auto client = NewClient();
      if (client->Connect("127.0.0.1", server.port())) {
        result = client->SendMailData("a@example.test", "b@example.test", std::string(5000, 'z'));
        EXPECT_EQ(client->lastErrorId(), kSmtpNoError);
        EXPECT_EQ(client->IsConnected(), request == &suspend);
      }
      return 0u;
    }, false);
    ASSERT_TRUE(worker);
    if (request == &suspend) {
      ASSERT_TRUE(WaitUntil([&] { return suspend == 0 && worker->IsSuspended(); }));
      EXPECT_EQ(Callbacks(kSmtpProgress), "0 40");
      EXPECT_EQ(percent.load(), 40);
      ASSERT_TRUE(worker->Resume());
    }
    ASSERT_TRUE(worker->Wait(10000));
    EXPECT_EQ(result, request == &suspend ? 1 : 0);
    EXPECT_EQ(request->load(), 0) << "the client clears the request it obeys";
    EXPECT_EQ(Callbacks(kSmtpProgress), request == &stop ? "0 40" : "0 40 81 100");
  }
}

// A server that stops reading amid the data (more than both ends' loopback
// buffers hold) and one that never answers its end: a short time-out for the data.
TEST_F(SmtpClientTest, HostileServersEndAtTheTimeout) {
  for (const bool readsData : {false, true}) {
    SCOPED_TRACE(readsData ? "no answer after the data" : "stops reading");
    events.clear();
    std::promise<void> clientDone;
    // Until the client has given up; the bound only keeps a failing test from hanging.
    ScriptedServer server([readsData, done = clientDone.get_future().share()](ServerSide& side) {
      AcceptUpToData(side);
      side.Send("354 go ahead\r\n");
      if (readsData) side.ReadUntil("\r\n.\r\n");
      EXPECT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    });
    {
      auto client = NewClient();
      ASSERT_TRUE(client->Connect("127.0.0.1", server.port()));
      onEvent = [&client](uint32_t code, uint32_t) {
        if (code == kSmtpDataStart) client->SetTimeout(100);
      };
      const std::string data = readsData ? "x\r\n" : std::string(16 << 20, 'x');
      EXPECT_FALSE(client->SendMailData("a@example.test", "b@example.test", data));
      onEvent = nullptr;
      EXPECT_EQ(client->lastErrorId(), readsData ? kSmtpReceiveFailed : kSmtpSendFailed);
      clientDone.set_value();
    }
    if (readsData) {
      EXPECT_EQ(Callbacks(kSmtpError), std::to_string(kSmtpReceiveFailed));
      EXPECT_TRUE(server.transcript().ends_with("x\r\n\r\n.\r\n"));
    }
  }
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
  EXPECT_EQ(Callbacks(), "13:9 13:2 13:13 13:11") << "errors alone: no command was sent";
  EXPECT_FALSE(client->Connect("127.0.0.1", ClosedLoopbackPort()));
  EXPECT_EQ(client->lastErrorId(), kSmtpConnectFailed) << "refused, not a failed greeting";
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
  EXPECT_TRUE(server.transcript().ends_with("DATA\r\n" + stuffed + "\r\n.\r\nQUIT\r\n"));
  EXPECT_EQ(Callbacks(kSmtpMessageSize), std::to_string(lines.size()));
  const std::string percents = Callbacks(kSmtpProgress);
  EXPECT_EQ(static_cast<size_t>(std::count(percents.begin(), percents.end(), ' ')),
            (lines.size() + kSmtpPieceSize - 1) / kSmtpPieceSize);

  // A read failing amid the data (the first pass took four blocks) closes the connection.
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

// Takes StartTls for done without encrypting: the scripted server reads on.
class PretendTlsSocket : public platform::TimeoutSocket {
 public:
  bool StartTls(const platform::TlsOptions& options, std::string&) override {
    given = options;
    secured = receives == 0 ? 'i' : 'u';  // implicit: before the greeting
    return true;
  }
  bool IsSecure() const override { return secured != '-' && IsOpen(); }
  int Receive(void* buffer, int capacity) override {
    ++receives;
    return TimeoutSocket::Receive(buffer, capacity);
  }
  char secured = '-';
  int receives = 0;
  platform::TlsOptions given;
};

std::string Unescaped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] == '\\' && i + 1 < text.size() ? text[++i] : 0;
    out += c == 0 ? text[i] : c == 'r' ? '\r' : c == 'n' ? '\n' : c == '0' ? '\0' : c;
  }
  for (size_t at; (at = out.find("$HOST")) != std::string::npos;) {
    out.replace(at, 5, platform::LocalHostName());
  }
  return out;
}

std::string renewal;
uint32_t Renew(const char* user, char* token, uint32_t capacity, uint32_t) {
  EXPECT_STREQ(user, "pupil");
  return static_cast<uint32_t>(renewal.copy(token, capacity));
}

TEST(SmtpDialogue, TheFilesOfTheDataDirectory) {
  int cases = 0;
  for (const auto& entry : std::filesystem::directory_iterator(QUORVEL_TEST_DATA "/smtp")) {
    if (entry.path().extension() != ".txt") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ++cases;
    std::multimap<std::string, std::string> c;
    std::vector<std::pair<char, std::string>> steps;
    std::ifstream in(entry.path());
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      const size_t space = std::min(line.find(' '), line.size());
      const std::string key = line.substr(0, space);
      const std::string value = space < line.size() ? Unescaped(line.substr(space + 1)) : "";
      if (key.size() == 1) {
        steps.emplace_back(key[0], value);
      } else {
        c.emplace(key, value);
      }
    }
    const auto get = [&](const std::string& key, const std::string& otherwise = "") {
      std::string all;
      for (auto [at, end] = c.equal_range(key); at != end; ++at) all += at->second;
      return c.count(key) ? all : otherwise;
    };
    const auto number = [&](const std::string& key) {
      return static_cast<uint32_t>(std::stoul(get(key, "0")));
    };
    // A value given in the file must be the one seen.
    const auto expect = [&](const std::string& key, const std::string& actual) {
      EXPECT_EQ(actual, get(key, actual)) << key;
    };
    events.clear();
    renewal = get("renewed-token");
    ScriptedServer server([&steps](ServerSide& side) {
      for (const auto& [step, text] : steps) {
        if (step == 'X') return;
        if (step == 'S') side.Send(text);
        if (step == 'R') side.ReadLine();
        if (step == 'D') side.ReadUntil("\r\n.\r\n");
        if (step == 'T') ServeSmtpTransactions(side);
        if (step == 'P') {
          EXPECT_LT(Trickle(side, 4000, std::chrono::milliseconds(5)), 4000);
        }
      }
      side.WaitForClose();
    });
    auto socket = std::make_unique<PretendTlsSocket>();
    PretendTlsSocket& seen = *socket;
    {
      SmtpClient client(nullptr, nullptr, nullptr);
      client.SetCallback(RecordCallback);
      if (c.count("tls")) {
        TransportSecurity security;
        security.smtpTls = number("tls");
        security.smtpUser = get("user");
        security.smtpPassword = get("password");
        security.smtpOAuthToken = get("token");
        if (!renewal.empty()) security.tokenCallback = Renew;
        security.caFile = "/school/ca.pem";
        client.SetSecurity(security);
        client.UseSocket(std::move(socket));
      }
      if (c.count("timeout")) client.SetTimeout(number("timeout"));
      if (c.count("closing-timeout")) client.SetClosingTimeout(number("closing-timeout"));
      EXPECT_EQ(client.Connect("127.0.0.1", server.port()), get("connects", "1") == "1");
      if (c.count("to")) {
        EXPECT_EQ(client.SendMailData(get("from"), get("to"), get("data", "x\r\n")),
                  get("sends", "1") == "1");
      }
      expect("connected", client.IsConnected() ? "1" : "0");
      if (c.count("disconnects")) {
        EXPECT_EQ(client.Disconnect(), get("disconnects") == "1");
        EXPECT_FALSE(client.IsConnected());
      }
      EXPECT_EQ(client.lastErrorId(), number("error"));
      expect("timeout", std::to_string(client.timeout()));
      expect("reply", client.lastReply());
      expect("reported", Callbacks(kSmtpError));
      expect("events", Callbacks());
      expect("secured", std::string(1, seen.secured));
      if (seen.secured != '-') {
        EXPECT_EQ(std::tie(seen.given.hostName, seen.given.caFile, seen.given.verify),
                  std::make_tuple("127.0.0.1", "/school/ca.pem", true));
      }
    }
    EXPECT_EQ(server.transcript(), get("sent"));
  }
  EXPECT_EQ(cases, 31);
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
