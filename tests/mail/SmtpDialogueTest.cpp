// SMTP dialogues kept as files under tests/data/smtp (the format: its
// README), and a real TLS handshake that stalls.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "ScriptedSmtp.h"
#include "protocol/SmtpClient.h"
#include "platform/Sockets.h"
#include "platform/Threads.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// Takes StartTls for done without encrypting, so that the scripted server
// reads the dialogue after it.
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

std::string events, reported;  // of the current case
void Record(uint32_t event, uint32_t argument) {
  events += (events.empty() ? "" : " ") + std::to_string(event) + ":" + std::to_string(argument);
  if (event == kSmtpError) reported += (reported.empty() ? "" : " ") + std::to_string(argument);
}
std::string renewal;
uint32_t Renew(const char* user, char* token, uint32_t capacity, uint32_t) {
  EXPECT_STREQ(user, "pupil");
  return static_cast<uint32_t>(renewal.copy(token, capacity));
}

void Serve(ServerSide& side, const std::vector<std::pair<char, std::string>>& steps) {
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
    const auto get = [&](const std::string& key, const std::string& otherwise) {
      std::string all;
      for (auto [at, end] = c.equal_range(key); at != end; ++at) all += at->second;
      return c.count(key) ? all : otherwise;
    };
    const auto number = [&](const std::string& key) {
      return static_cast<uint32_t>(std::stoul(get(key, "0")));
    };
    // A value given in the file must be the one seen.
    const auto expect = [&](const std::string& key, const std::string& actual) {
      if (c.count(key) != 0) {
        EXPECT_EQ(actual, get(key, "")) << key;
      }
    };
    events.clear();
    reported.clear();
    renewal = get("renewed-token", "");
    ScriptedServer server([&steps](ServerSide& side) { Serve(side, steps); });
    auto socket = std::make_unique<PretendTlsSocket>();
    PretendTlsSocket& seen = *socket;
    {
      SmtpClient client(nullptr, nullptr, nullptr);
      client.SetCallback(Record);
      if (c.count("tls")) {
        TransportSecurity security;
        security.smtpTls = number("tls");
        security.smtpUser = get("user", "");
        security.smtpPassword = get("password", "");
        security.smtpOAuthToken = get("token", "");
        if (!renewal.empty()) security.tokenCallback = Renew;
        security.caFile = "/school/ca.pem";
        client.SetSecurity(security);
        client.UseSocket(std::move(socket));
      }
      if (c.count("timeout")) client.SetTimeout(number("timeout"));
      if (c.count("closing-timeout")) client.SetClosingTimeout(number("closing-timeout"));
      EXPECT_EQ(client.Connect("127.0.0.1", server.port()), get("connects", "1") == "1");
      if (c.count("to")) {
        EXPECT_EQ(client.SendMailData(get("from", ""), get("to", ""), get("data", "x\r\n")),
                  get("sends", "1") == "1");
      }
      expect("connected", client.IsConnected() ? "1" : "0");
      if (c.count("disconnects")) {
        EXPECT_EQ(client.Disconnect(), get("disconnects", "") == "1");
        EXPECT_FALSE(client.IsConnected());
      }
      EXPECT_EQ(client.lastErrorId(), number("error"));
      expect("timeout", std::to_string(client.timeout()));
      expect("reply", client.lastReply());
      expect("reported", reported);
      expect("events", events);
      expect("secured", std::string(1, seen.secured));
      if (seen.secured != '-') {
        EXPECT_EQ(std::tie(seen.given.hostName, seen.given.caFile, seen.given.verify),
                  std::make_tuple("127.0.0.1", "/school/ca.pem", true));
      }
    }
    EXPECT_EQ(server.transcript(), get("sent", ""));
  }
  EXPECT_EQ(cases, 31);
}

// A real TLS handshake that stalls, abandoned by the time-out and by a
// cancel: the server takes the connection and the client's first handshake
// bytes, and never answers.
struct StallingTlsServer {
  explicit StallingTlsServer(std::function<void()> onHello)
      : server([onHello](ServerSide& side) {
          if (side.ReadUntil("\x16\x03")) onHello();  // a TLS record: the client hello
          side.WaitForClose();
        }) {}
  ScriptedServer server;
};

TEST(SmtpSecurity, AStalledHandshakeEndsByTheTimeoutOrAtOnceByACancel) {
  for (const bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancel" : "time-out");
    const uint32_t client = platform::CurrentThreadId();
    StallingTlsServer stalling([&] {
      if (cancel) platform::PostSocketCancel(client);
    });
    SmtpClient smtp(nullptr, nullptr, nullptr);
    TransportSecurity security;
    security.smtpTls = kTlsImplicit;
    smtp.SetSecurity(security);
    // The cancel case would wait 90 s, and fail the test's own time limit,
    // if the cancel did not end the handshake.
    smtp.SetTimeout(cancel ? 90000 : 200);
    EXPECT_FALSE(smtp.Connect("127.0.0.1", stalling.server.port()));
    EXPECT_EQ(smtp.lastErrorId(), kSmtpTlsFailed);
    EXPECT_NE(smtp.tlsFailure().find("abandoned"), std::string::npos) << smtp.tlsFailure();
  }
}

}  // namespace
}  // namespace quorvel
