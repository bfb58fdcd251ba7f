// The POP3 dialogue against stand-in servers that answer in chosen pieces: commands, events
// (window, then callback), error codes, the text handed on, the login with TLS and SASL; then
// ReceiveByPop, which leaves on the server (no DELE) every message not stored durably.
#include "protocol/PopClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>

#include "../exchange/ItemTest.h"
#include "PopMailDrop.h"
#include "RandomBytes.h"
#include "ScriptedPop.h"
#include "ScriptedServer.h"
#include "TextCases.h"
#include "WaitUntil.h"
#include "frame/ContextTable.h"
#include "frame/ErrorCodes.h"
#include "frame/Library.h"
#include "mail/ReceiveFunctions.h"
#include "platform/CodePages.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Threads.h"
#include "platform/WindowMessages.h"
#include "protocol/PopSettings.h"
#include "text/Base64.h"

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

// Any greeting is accepted, also one without "+OK"; a reply cut before its end is waited for.
TEST_F(PopClientTest, WholeDialogueSendsTheCommandsAndReportsEveryStep) {
  PopClient& client = Client({{"hello there\r\n"}, kOk, kOk, {"+OK 2 320\r\n"},
                              {"+OK 1", " 12\r\n"}, {"+OK 12 octets\r\nHi\r\n.\r\n"}, kOk, kOk});
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
  std::string text, dotLines = "+OK\r\n", expected;
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

// Greets, answers the login, STAT with `stat`, LIST 1 with `listed` and RETR 1 with `first`.
void ServeUpToRetrieval(ServerSide& side, const std::string& stat, const std::string& listed,
                        const std::string& first) {
  side.Send("+OK ready\r\n");
  for (const std::string& reply : {std::string("+OK\r\n"), std::string("+OK\r\n"), stat, listed,
                                   "+OK\r\n" + first}) {
    side.ReadLine();
    side.Send(reply);
  }
}
void AnswerUntilClosed(ServerSide& side) {
  while (side.ReadLine() && side.Send("+OK\r\n")) {
  }
}

// A message parsed as it arrives, listed with its size or too small (the buffer grows under the
// reader), or cut in its attachment; the server goes on once the reader has begun that file.
TEST(ReceiveByPopTest, AMessageParsedWhileItArrivesIsStoredWholeOrNotAtAll) {
  const std::string bytes = RandomBytes(3 << 20, 3);
  std::string encoded;
  Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), encoded);
  // Lines of 77 characters: groups cross the breaks, so the reader cuts the long run itself.
  std::erase_if(encoded, [](char c) { return c == '\r' || c == '\n'; });
  std::string lines;
  for (size_t at = 0; at < encoded.size(); at += 77) lines += encoded.substr(at, 77) + "\r\n";
  const std::string text = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nbody\r\n"
                           "--b\r\nContent-Type: text/html\r\n\r\n<p>body</p>\r\n"
                           "--b\r\nContent-Type: application/x; name=a.bin\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\n" + lines + "--b--\r\n";
  const size_t quarter = text.size() / 4;
  for (const auto& sizes : {std::pair{text.size(), text.size()},
                            {text.size() / 2, text.size()}, {text.size(), 2 * quarter}}) {
    const size_t listed = sizes.first, sent = sizes.second;  // lambdas take no bindings
    SCOPED_TRACE(std::to_string(listed) + " listed, " + std::to_string(sent) + " sent");
    const bool whole = sent == text.size();
    TempDirectory reception;
    TemporaryDirectoryOverride temporary;
    ScriptedServer server([&](ServerSide& side) {
      ServeUpToRetrieval(side, "+OK 1 1\r\n", "+OK 1 " + std::to_string(listed) + "\r\n",
                         text.substr(0, quarter));
      EXPECT_TRUE(WaitUntil([&] {
        const std::filesystem::directory_iterator entries(reception.path());
        return std::distance(begin(entries), end(entries)) >= 2;
      }));
      side.Send(text.substr(quarter, sent - quarter) + (whole ? ".\r\n" : ""));
      if (whole) AnswerUntilClosed(side);
    });
    SetPopSettings("127.0.0.1", server.port(), "u", "p");
    MailMessage message(nullptr, nullptr, nullptr);
    MailDataList list;
    EXPECT_TRUE(ReceiveByPop(message, list, reception.path()));
    EXPECT_EQ(server.transcript().find("DELE 1\r\n") != std::string::npos, whole);
    ASSERT_EQ(list.Size(), whole ? 1u : 0u);
    if (whole) {
      EXPECT_EQ(std::tie(list[0].message, list[0].bodyType, list[0].bodyIndex, list[0].codePage),
                std::make_tuple("body", MailData::kBodyHtml, 0,
                                static_cast<int32_t>(platform::AnsiCodePage())))
          << "the HTML part, not the attached file; texts in the library's code page";
      ASSERT_EQ(list[0].attachmentFiles.size(), 2u);
      EXPECT_TRUE(ReadFile(list[0].attachmentFiles[1]) == bytes);
    }
    EXPECT_EQ(whole, !std::filesystem::is_empty(reception.path()));
    EXPECT_EQ(temporary.Files(), std::vector<std::string>{}) << "no part file is left";
  }
}

// Of two messages the first is trickled past the time-out, broken off, or sent whole to a full
// or unsyncable disk: a broken session fetches nothing more; nothing not on the disk is deleted.
uint32_t retrievalsStarted = 0;
void CountRetrievals(uint32_t event, uint32_t) { retrievalsStarted += event == kPopRetrievalStart; }

TEST(ReceiveByPopTest, AHostileServerOrAnUnsyncedDiskKeepsTheMessageOnTheServer) {
  enum Hostility { kTrickle, kBreakOff, kDiskFull, kFileNotSynced, kDirectoryNotSynced };
  for (const Hostility hostility :
       {kTrickle, kBreakOff, kDiskFull, kFileNotSynced, kDirectoryNotSynced}) {
    SCOPED_TRACE(hostility);
    TempDirectory reception;
    TemporaryDirectoryOverride temporary;
    ScriptedServer server([&](ServerSide& side) {
      ServeUpToRetrieval(side, "+OK 2 40\r\n", "+OK 1 40\r\n", "Subject: s\r\n\r\nbody");
      if (hostility == kTrickle) {
        EXPECT_LT(Trickle(side, 1000, std::chrono::milliseconds(10)), 1000) << "never gave up";
      }
      if (hostility == kTrickle || hostility == kBreakOff) return;
      side.Send("\r\n.\r\n");
      AnswerUntilClosed(side);
    });
    SetPopSettings("127.0.0.1", server.port(), "u", "p");
    MailMessage message(nullptr, nullptr, nullptr);
    message.timeoutMs = 300;
    message.SetProgressCallback(CountRetrievals);
    retrievalsStarted = 0;
    MailDataList list;
    platform::FileFaults faults;
    if (hostility == kFileNotSynced) faults.Fail(platform::FileOperation::Sync, 1);
    if (hostility == kDirectoryNotSynced) faults.Fail(platform::FileOperation::Sync, 2);
    if (hostility == kDiskFull) faults.FillDiskAfter(0);
    EXPECT_TRUE(ReceiveByPop(message, list, reception.path()));
    EXPECT_EQ(server.transcript().find("DELE"), std::string::npos) << server.transcript();
    const bool kept = hostility >= kFileNotSynced;
    EXPECT_EQ(list.Size(), kept ? 1u : 0u) << "written, kept, and left on the server";
    EXPECT_EQ(faults.Fired(), hostility >= kDiskFull);
    EXPECT_TRUE(hostility > kBreakOff || retrievalsStarted == 1) << "the session has ended";
    EXPECT_TRUE(hostility != kDiskFull || std::filesystem::is_empty(reception.path()));
    EXPECT_EQ(temporary.Files(), std::vector<std::string>{}) << "no part file is left";
  }
}

// Each mail-data name takes one creation; all is synced before the first DELE (each file and the
// directory for a few, the file system for many where it can); if that fails, nothing is deleted.
TEST(ReceiveByPopTest, ARunStoresEachMailWithOneCreationAndSyncsAllBeforeTheFirstDelete) {
  const std::string mail = "Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
                           "--b\r\n\r\nbody\r\n--b\r\nContent-Type: application/x; name=a.bin\r\n"
                           "\r\nbytes\r\n--b--\r\n";
  for (const uint32_t messages : {3u, 12u}) {
    for (const bool syncFails : {false, true}) {
      SCOPED_TRACE(std::to_string(messages) + (syncFails ? ", the sync fails" : ""));
      TempDirectory reception;
      const auto name = [&](uint32_t n) {
        return reception / ("~AT" + std::to_string(n) + ".mes");
      };
      for (const uint32_t n : {0, 1, 2, 3, 4}) WriteFile(name(n), "");
      const bool wholeFileSystem =
          messages > 4 && platform::SyncFileSystemOf(reception.path()).has_value();
      PopMailDrop drop(std::vector<std::string>(messages, mail));
      SetPopSettings("127.0.0.1", drop.port(), "u", "p");
      MailMessage message(nullptr, nullptr, nullptr);
      MailDataList list;
      platform::FileFaults faults;
      if (syncFails) faults.Fail(platform::FileOperation::Sync, 1);
      EXPECT_TRUE(ReceiveByPop(message, list, reception.path()));
      drop.WaitForConversations(1);
      ASSERT_EQ(list.Size(), messages);
      EXPECT_EQ(list[messages - 1].filePath, name(messages + 4));
      EXPECT_EQ(faults.Count(platform::FileOperation::Open), 2 * messages + 4)
          << "a part file and a mail-data file each, and four failed tries before a listing";
      EXPECT_EQ(faults.Count(platform::FileOperation::Sync),
                wholeFileSystem ? 1 : 2 * messages + 1);
      std::vector<std::string> deletions;
      for (const std::string& command : drop.Commands()) {
        if (command.starts_with("DELE")) deletions.push_back(command);
        if (command.starts_with("RETR")) {
          EXPECT_EQ(deletions.size(), 0u) << command;
        }
      }
      EXPECT_EQ(deletions.size(), syncFails ? 0u : messages);
      EXPECT_EQ(drop.Messages().size(), syncFails ? messages : 0u);
    }
  }
}

TEST(ReceiveMailsTest, AMissingReceptionDirectoryIsRefusedFirstAndFailuresKeepTheirError) {
  TempDirectory base;
  ASSERT_TRUE(Contexts().AddNew(platform::CurrentThreadId(), nullptr));
  ThreadContext* context = CallingContext();
  context->protocol = kProtocolMapi;  // which would answer true at once
  context->popHost = "pop.example.test";
  context->receptionDirectory = base / "missing/";
  MailDataList list;
  EXPECT_FALSE(ReceiveMails(list));
  EXPECT_EQ(context->lastError, kErrorNoDirectory);
  context->protocol = kProtocolSmtpPop;
  context->popHost = "127.0.0.1";
  context->popPort = ClosedLoopbackPort();
  context->receptionDirectory = base.path();
  EXPECT_FALSE(ReceiveMails(list));
  EXPECT_EQ(context->lastError, kErrorPopConnect) << "the receive's own error is kept";
  Contexts().Remove(platform::CurrentThreadId());
}

}  // namespace
}  // namespace quorvel
