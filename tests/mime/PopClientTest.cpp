// The POP3 dialogue against stand-in servers that answer in chosen pieces: commands, events
// (window, then callback), error codes and the text handed on; then the login with TLS and SASL.
#include "protocol/PopClient.h"

#include <gtest/gtest.h>

#include <map>

#include "ScriptedPop.h"
#include "TextCases.h"
#include "frame/Library.h"
#include "protocol/PopSettings.h"
#include "platform/WindowMessages.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;
using Replies = std::vector<TurnSocket::Reply>;

struct Event {
  char target;  // 'w' the window, 'c' the callback
  uint32_t code;
  uint32_t argument;
  bool operator==(const Event&) const = default;
};
std::vector<Event> events;  // the callback has no user value

void RecordCallback(uint32_t code, uint32_t argument) { events.push_back({'c', code, argument}); }
intptr_t RecordWindow(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  EXPECT_EQ(message, PopMessageNumber());
  events.push_back({'w', static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam)});
  return 0;
}

const TurnSocket::Reply kOk = {"+OK\r\n"};

class PopClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OnLibraryLoad();
    events.clear();
    PopConnectionsForbidden() = false;
  }
  void TearDown() override { PopConnectionsForbidden() = false; }
  PopClient& Client(Replies replies) {
    client_ = std::make_unique<PopClient>(window_.handle());
    client_->SetCallback(RecordCallback);
    client_->UseSocket(std::make_unique<TurnSocket>(std::move(replies), &sent));
    return *client_;
  }
  PopClient& LoggedIn(Replies more) {
    Replies replies = {{"+OK ready\r\n"}, kOk, kOk};
    replies.insert(replies.end(), more.begin(), more.end());
    PopClient& client = Client(std::move(replies));
    EXPECT_TRUE(client.Connect("pop.test", 110, "tutor", "secret"));
    return client;
  }

  platform::MessageWindow window_{RecordWindow};
  std::string sent;  // before the client: its closing QUIT is still recorded
  std::unique_ptr<PopClient> client_;
};

// Any greeting is accepted, also one without "+OK".
TEST_F(PopClientTest, WholeDialogueSendsTheCommandsAndReportsEveryStep) {
  PopClient& client = Client({{"hello there\r\n"}, kOk, kOk, {"+OK 2 320\r\n"},
                              {"+OK 1 12\r\n"}, {"+OK 12 octets\r\nHi\r\n.\r\n"}, kOk, kOk});
  ASSERT_TRUE(client.Connect("pop.test", 110, "tutor", "secret"));
  uint16_t count = 0;
  ASSERT_TRUE(client.GetMessageCount(count));
  EXPECT_EQ(count, 2);
  std::string text;
  ASSERT_TRUE(client.Retrieve(1, text));
  EXPECT_EQ(text, "Hi\r\n");
  EXPECT_TRUE(client.Delete(1));
  EXPECT_TRUE(client.Quit());
  EXPECT_EQ(sent, "USER tutor\r\nPASS secret\r\nSTAT\r\nLIST 1\r\nRETR 1\r\nDELE 1\r\nQUIT\r\n");
  std::vector<uint32_t> codes;  // each event goes to the window, then to the callback
  for (size_t i = 0; i + 1 < events.size(); i += 2) {
    EXPECT_EQ(events[i], (Event{'w', events[i + 1].code, events[i + 1].argument}));
    codes.push_back(events[i + 1].target == 'c' ? events[i + 1].code : 0);
  }
  EXPECT_EQ(codes, (std::vector<uint32_t>{1,  12, 2,  15, 12, 16, 17, 12, 18, 19, 12, 20, 25,
                                          12, 26, 27, 12, 28, 29, 11, 21, 12, 22, 3,  12, 4}));
  EXPECT_EQ(events.size() % 2, 0u);
  EXPECT_EQ(events[2 * 11 + 1], (Event{'c', kPopCount, 2}));
  EXPECT_EQ(events[2 * 14 + 1], (Event{'c', kPopMessageSize, 12}));
  EXPECT_EQ(events[2 * 19 + 1], (Event{'c', kPopProgress, 100}));
  EXPECT_FALSE(client.IsConnected());
}

// The replies of each case come after a login unless the step is the connection itself.
TEST_F(PopClientTest, EachRefusalAndBreakGivesItsErrorCode) {
  for (const TextCase& d : TextCases("pop-dialogues/refusals")) {
    SCOPED_TRACE(d.name);
    const uint32_t error = d.Number("error");
    events.clear();
    const std::string step = d.Get("step");
    PopClient& client = step == "connect" ? Client(d.inputs) : LoggedIn(d.inputs);
    uint16_t count = 0;
    std::string text = "old";
    const bool result = step == "connect"  ? client.Connect("pop.test", 110, "u", "p")
                        : step == "count"  ? client.GetMessageCount(count)
                        : step == "retrieve" ? client.Retrieve(1, text)
                        : step == "delete" ? client.Delete(1)
                                           : client.Quit();
    EXPECT_FALSE(result);
    EXPECT_EQ(client.lastError(), error);
    EXPECT_NE(std::find(events.begin(), events.end(), Event{'c', kPopError, error}), events.end());
    EXPECT_TRUE(step != "retrieve" || error != kPopServerClosed || text.empty()) << text;
    EXPECT_TRUE(step != "connect" || !client.IsConnected());
  }
}

TEST_F(PopClientTest, CountsAndMessageNumbersAreTakenModulo65536) {
  uint16_t count = 7;
  EXPECT_TRUE(LoggedIn({{"+OK 65537 1000\r\n"}}).GetMessageCount(count));
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(LoggedIn({{"+OK none\r\n"}}).GetMessageCount(count)) << "a count needs a digit";
  EXPECT_EQ(client_->lastError(), kPopNoError);
  std::string text;
  sent.clear();
  LoggedIn({{"+OK 4 3\r\n"}, {"+OK\r\n.\r\n"}}).Retrieve(65540, text);
  EXPECT_EQ(sent.substr(sent.find("LIST")), "LIST 4\r\nRETR 4\r\n");
}

// Leading dots undone, no terminating line, however the data is cut (pieces up to one ending
// with LF come as the status reply; the later ones are the message data's own receives).
TEST_F(PopClientTest, TheTextIsTheStoredMessageWhereverTheDataIsCut) {
  for (const TextCase& d : TextCases("pop-dialogues/transfers")) {
    SCOPED_TRACE(d.name);
    std::string text;
    ASSERT_TRUE(LoggedIn({{"+OK 1 10\r\n"}, d.inputs.at(0)}).Retrieve(1, text));
    EXPECT_EQ(text, d.text);
  }
  // The same rules with the data cut at every byte, and in single bytes.
  const std::string transfer = "..a\r\nb.\r\n..\r\n.\n.x\r\ny\n.\r\n.\r\n";
  const std::string stored = ".a\r\nb.\r\n.\r\n\nx\r\ny\n\r\n";
  std::vector<TurnSocket::Reply> cuts;
  for (size_t cut = 1; cut < transfer.size(); ++cut) {
    cuts.push_back({"+OK\r\n", transfer.substr(0, cut), transfer.substr(cut)});
  }
  cuts.push_back({"+OK\r\n"});
  for (char c : transfer) cuts.back().push_back(std::string(1, c));
  for (const TurnSocket::Reply& pieces : cuts) {
    SCOPED_TRACE(pieces.size() > 3 ? "single bytes" : pieces[1]);
    std::string text;
    ASSERT_TRUE(LoggedIn({{"+OK 1 10\r\n"}, pieces}).Retrieve(1, text));
    EXPECT_EQ(text, stored);
  }
  // A status line cut before its end is waited for; what follows its end in the piece is data.
  std::string text;
  ASSERT_TRUE(LoggedIn({{"+OK 1", " 10\r\n"}, {"+O", "K\r\nHi\r\n.\r\n"}}).Retrieve(1, text));
  EXPECT_EQ(text, "Hi\r\n");
  std::string dotLines = "+OK\r\n", expected;
  for (int i = 0; i < 70000; ++i) {
    dotLines += "..line\r\n";
    expected += ".line\r\n";
  }
  dotLines += ".\r\n";
  TurnSocket::Reply pieces;
  for (size_t at = 0; at < dotLines.size(); at += 1000) pieces.push_back(dotLines.substr(at, 1000));
  ASSERT_TRUE(LoggedIn({{"+OK 1 560000\r\n"}, pieces}).Retrieve(1, text));
  EXPECT_EQ(text, expected);
}

// A message larger than the limit (the LIST answers of the cases), or a stop request, ends it.
TEST_F(PopClientTest, TheLimitAndAStopRequestEndAMessage) {
  for (const TextCase& c : TextCases("pop-dialogues/limits")) {
    SCOPED_TRACE(c.name);
    sent.clear();
    const uint32_t error = c.Number("error");
    std::atomic<uint8_t> stop{static_cast<uint8_t>(c.Number("stop"))};
    PopClient& client = LoggedIn({c.inputs.at(0), {"+OK\r\n", "0123456789\r\n", ".\r\n"}});
    client.SetLargestMessage(c.Number("limit"));
    client.SetStopRequest(&stop);
    std::string text;
    EXPECT_EQ(client.Retrieve(1, text), error == kPopNoError);
    EXPECT_EQ(client.lastError(), error);
    const bool asked = c.Get("asked") == "yes";
    EXPECT_EQ(sent.find("RETR 1\r\n") != std::string::npos, asked);
    EXPECT_EQ(text, error == kPopNoError ? "0123456789\r\n" : "");
    EXPECT_EQ(client.IsConnected(), error == kPopNoError || !asked);
    EXPECT_EQ(stop.load(), c.Number("stop"));
  }
}

TEST_F(PopClientTest, ForbiddenConnectionsAndLineBreaksInUserOrPasswordSendNothing) {
  PopConnectionsForbidden() = true;
  PopClient& client = Client({{"+OK\r\n"}, kOk, kOk});
  EXPECT_FALSE(client.Connect("pop.test", 110, "u", "p"));
  uint16_t count = 9;
  EXPECT_TRUE(client.GetMessageCount(count));
  EXPECT_EQ(count, 0);
  std::string text;
  EXPECT_FALSE(client.Retrieve(1, text));
  EXPECT_EQ(sent, "");
  EXPECT_TRUE(events.empty());
  PopConnectionsForbidden() = false;
  EXPECT_FALSE(Client({{"+OK\r\n"}, kOk, kOk}).Connect("pop.test", 110, "u\r\nDELE 1", "p"));
  EXPECT_EQ(client_->lastError(), kPopUserRefused);
  EXPECT_EQ(sent, "");
  EXPECT_FALSE(Client({{"+OK\r\n"}, kOk, kOk}).Connect("pop.test", 110, "u", "p\nQUIT"));
  EXPECT_EQ(client_->lastError(), kPopPasswordRefused);
  EXPECT_EQ(sent, "USER u\r\n");
}

class PretendTlsTurnSocket : public TurnSocket {
 public:
  using TurnSocket::TurnSocket;
  bool StartTls(const platform::TlsOptions& options, std::string&) override {
    host = options.hostName;
    return secured = true;
  }
  bool IsSecure() const override { return secured && IsOpen(); }
  bool secured = false;
  std::string host;
};

std::vector<std::string> askedFor;  // the users the token callback was asked for
uint32_t NewToken(const char* user, char* token, uint32_t capacity, uint32_t userValue) {
  askedFor.push_back(user);
  const std::string tokens[] = {"", "ya29.new", "ya29.tok", std::string(capacity, 'x'), ""};
  const std::string& given = tokens[userValue];
  given.copy(token, capacity);
  return static_cast<uint32_t>(given.size());
}

// TLS starts where the first command is STLS or from the first byte; SASL as CAPA offers it.
TEST(PopSecurity, TlsFirstThenSaslAsTheCapabilitiesOffer) {
  const std::map<std::string, uint32_t> modes = {
      {"none", kTlsNone}, {"upgrade", kTlsUpgrade}, {"implicit", kTlsImplicit}};
  for (const TextCase& d : TextCases("pop-dialogues/security")) {
    SCOPED_TRACE(d.name);
    const uint32_t error = d.Number("error");
    std::string sent;
    auto socket = std::make_unique<PretendTlsTurnSocket>(d.inputs, &sent);
    PretendTlsTurnSocket& seen = *socket;
    askedFor.clear();
    {
      PopClient client(nullptr);
      TransportSecurity security;
      security.popTls = modes.at(d.Get("tls"));
      security.popSecuritySet = d.Get("set") != "no";
      security.popClearTextAllowed = d.Get("clear") != "no";
      security.popOAuthToken = d.Get("token");
      if (!d.Get("renewal").empty()) {
        security.tokenCallback = NewToken;
        security.tokenUserValue = d.Number("renewal");
      }
      client.SetSecurity(security);
      client.UseSocket(std::move(socket));
      EXPECT_EQ(client.Connect("pop.school.example", 995, "u", "p"), error == kPopNoError);
      EXPECT_EQ(client.lastError(), error);
      const bool secured = d.sent.starts_with("STLS") ? error != kPopTlsNotOffered
                                                      : security.popTls == kTlsImplicit;
      EXPECT_EQ(seen.secured, secured);
      EXPECT_EQ(seen.host, secured ? "pop.school.example" : "");
    }
    EXPECT_EQ(sent, d.sent);
    EXPECT_EQ(askedFor, d.Get("asked") == "yes" ? std::vector<std::string>{"u"}
                                                : std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace quorvel
