// The POP3 dialogue against stand-in servers that answer in chosen pieces:
// the commands on the wire, the events in order (window, then callback),
// every error code, and the message text handed on.
#include "protocol/PopClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <vector>

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
  std::vector<uint32_t> CallbackCodes() const {
    std::vector<uint32_t> codes;
    for (const Event& event : events) {
      if (event.target == 'c') codes.push_back(event.code);
    }
    return codes;
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
  const std::vector<uint32_t> expected = {1,  12, 2,  15, 12, 16, 17, 12, 18, 19, 12, 20, 25, 12,
                                          26, 27, 12, 28, 29, 11, 21, 12, 22, 3,  12, 4};
  EXPECT_EQ(CallbackCodes(), expected);
  ASSERT_EQ(events.size(), 2 * expected.size());
  for (size_t i = 0; i < events.size(); i += 2) {
    EXPECT_EQ(events[i], (Event{'w', events[i + 1].code, events[i + 1].argument}));
  }
  EXPECT_EQ(events[2 * 11 + 1], (Event{'c', kPopCount, 2}));
  EXPECT_EQ(events[2 * 14 + 1], (Event{'c', kPopMessageSize, 12}));
  EXPECT_EQ(events[2 * 19 + 1], (Event{'c', kPopProgress, 100}));
  EXPECT_FALSE(client.IsConnected());
}

// The replies of tests/data/pop-dialogues/refusals.txt come after a login
// unless the step is the connection itself.
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

TEST_F(PopClientTest, TheCountIsTakenModulo65536AndNeedsADigit) {
  uint16_t count = 7;
  EXPECT_TRUE(LoggedIn({{"+OK 65537 1000\r\n"}}).GetMessageCount(count));
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(LoggedIn({{"+OK none\r\n"}}).GetMessageCount(count));
  EXPECT_EQ(client_->lastError(), kPopNoError);
}

TEST_F(PopClientTest, MessageNumbersGoOutModulo65536) {
  std::string text;
  LoggedIn({{"+OK 4 3\r\n"}, {"+OK\r\n.\r\n"}}).Retrieve(65540, text);
  EXPECT_EQ(sent.substr(sent.find("LIST")), "LIST 4\r\nRETR 4\r\n");
}

// The text handed on is the stored message: leading dots of the transfer
// undone, no terminating line, however the data is cut into pieces (the
// cases of tests/data/pop-dialogues/transfers.txt). (Pieces
// up to one ending with LF come as the status reply; the later ones are the
// message data's own receives.)
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
  // A status line cut before its end is waited for; what follows its end
  // in the same piece is data.
  std::string text;
  ASSERT_TRUE(LoggedIn({{"+OK 1", " 10\r\n"}, {"+O", "K\r\nHi\r\n.\r\n"}}).Retrieve(1, text));
  EXPECT_EQ(text, "Hi\r\n");
}

TEST_F(PopClientTest, SeventyThousandDotLinesComeBackWithOneDotEach) {
  std::string transfer = "+OK\r\n";
  std::string expected;
  for (int i = 0; i < 70000; ++i) {
    transfer += "..line\r\n";
    expected += ".line\r\n";
  }
  transfer += ".\r\n";
  TurnSocket::Reply pieces;
  for (size_t at = 0; at < transfer.size(); at += 1000) pieces.push_back(transfer.substr(at, 1000));
  std::string text;
  ASSERT_TRUE(LoggedIn({{"+OK 1 560000\r\n"}, pieces}).Retrieve(1, text));
  EXPECT_EQ(text, expected);
}

// A message larger than the limit is not taken: listed larger, it is not
// asked for and the session goes on; listed smaller but arriving larger, its
// data ends the session once past the limit. A stop request ends the data
// too, and is left set. A message of the limit's size is taken.
TEST_F(PopClientTest, TheLimitAndAStopRequestEndAMessage) {
  const TurnSocket::Reply data = {"+OK\r\n", "0123456789\r\n", ".\r\n"};
  const struct {
    const char* what;
    uint64_t limit;
    bool stop;
    const char* listed;
    uint32_t error;  // 0: taken
    bool asked;      // RETR sent
  } cases[] = {
      {"listed larger", 11, false, "+OK 1 12\r\n", kPopMessageTooLarge, false},
      {"listed and arriving at the limit", 12, false, "+OK 1 12\r\n", kPopNoError, true},
      {"arriving larger", 11, false, "+OK 1 5\r\n", kPopMessageTooLarge, true},
      {"stopped", 100, true, "+OK 1 12\r\n", kPopReceiveFailed, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sent.clear();
    std::atomic<uint8_t> stop{static_cast<uint8_t>(c.stop ? 1 : 0)};
    PopClient& client = LoggedIn({{c.listed}, data});
    client.SetLargestMessage(c.limit);
    client.SetStopRequest(&stop);
    std::string text;
    EXPECT_EQ(client.Retrieve(1, text), c.error == kPopNoError);
    EXPECT_EQ(client.lastError(), c.error);
    EXPECT_EQ(sent.find("RETR 1\r\n") != std::string::npos, c.asked);
    EXPECT_EQ(text, c.error == kPopNoError ? "0123456789\r\n" : "");
    EXPECT_EQ(client.IsConnected(), c.error == kPopNoError || !c.asked);
    EXPECT_EQ(stop.load(), c.stop ? 1 : 0);
  }
}

TEST_F(PopClientTest, ForbiddenConnectionsOpenNothingAndCountZero) {
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
}

TEST_F(PopClientTest, ALineBreakInUserOrPasswordIsRefusedUnsent) {
  EXPECT_FALSE(Client({{"+OK\r\n"}, kOk, kOk}).Connect("pop.test", 110, "u\r\nDELE 1", "p"));
  EXPECT_EQ(client_->lastError(), kPopUserRefused);
  EXPECT_EQ(sent, "");
  EXPECT_FALSE(Client({{"+OK\r\n"}, kOk, kOk}).Connect("pop.test", 110, "u", "p\nQUIT"));
  EXPECT_EQ(client_->lastError(), kPopPasswordRefused);
  EXPECT_EQ(sent, "USER u\r\n");
}

}  // namespace
}  // namespace quorvel
