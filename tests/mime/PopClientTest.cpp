// The POP3 dialogue against a scripted server: the cases of tests/data/pop-dialogues (the format:
// its README); then ReceiveByPop, which leaves on the server
// (no DELE) every message not stored durably.
#include "protocol/PopClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>

#include "../exchange/ItemTest.h"
#include "Dialogue.h"
#include "PopMailDrop.h"
#include "RandomBytes.h"
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

std::vector<std::string> askedFor;  // the users the token callback was asked for
uint32_t NewToken(const char* user, char* token, uint32_t capacity, uint32_t userValue) {
  askedFor.push_back(user);
  const std::string tokens[] = {"", "ya29.new", "ya29.tok", std::string(capacity, 'x'), ""};
  const std::string& given = tokens[userValue];
  given.copy(token, capacity);
  return static_cast<uint32_t>(given.size());
}

class PopClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OnLibraryLoad();
    clientWindowMessage = PopMessageNumber();
  }
  void TearDown() override { PopConnectionsForbidden() = false; }
  void Play(const KeyedCase& c);

  platform::MessageWindow window_{RecordWindow};
};

void PopClientTest::Play(const KeyedCase& c) {
  SCOPED_TRACE(c.name);
  clientEvents.clear();
  askedFor.clear();
  PopConnectionsForbidden() = c.Has("forbidden");
  Dialogue dialogue(c);
  std::atomic<uint8_t> stop{static_cast<uint8_t>(c.Number("stop"))};
  {
    PopClient client(window_.handle());
    client.SetCallback(RecordCallback);
    client.UseSocket(dialogue.Socket());
    client.SetStopRequest(&stop);
    if (c.Has("limit")) client.SetLargestMessage(c.Number("limit"));
    if (c.Has("tls")) {
      const std::map<std::string, uint32_t> modes = {
          {"none", kTlsNone}, {"upgrade", kTlsUpgrade}, {"implicit", kTlsImplicit}};
      TransportSecurity security;
      security.popTls = modes.at(c.Get("tls"));
      security.popSecuritySet = c.Get("set") != "no";
      security.popClearTextAllowed = c.Get("clear") != "no";
      security.popOAuthToken = c.Get("token");
      if (c.Has("renewal")) {
        security.tokenCallback = NewToken;
        security.tokenUserValue = c.Number("renewal");
      }
      client.SetSecurity(security);
    }
    uint16_t count = 0;
    std::string text, results;
    std::istringstream calls(c.Get("calls", "connect"));
    const std::string user = c.Get("user", "u"), secret = c.Get("password", "p");
    const uint32_t number = c.Has("message") ? c.Number("message") : 1;
    for (std::string call; calls >> call;) {
      const bool done = call == "connect"
                        ? client.Connect("pop.school.example", 995, user.c_str(), secret.c_str())
                        : call == "count"    ? client.GetMessageCount(count)
                        : call == "retrieve" ? client.Retrieve(number, text)
                        : call == "delete"   ? client.Delete(1)
                                             : client.Quit();
      results += std::string(results.empty() ? "" : " ") + (done ? "1" : "0");
    }
    EXPECT_EQ(std::to_string(client.lastError()), c.Get("error", "0"));
    c.Check("results", results);
    c.Check("count", std::to_string(count));
    c.Check("text", text);
    c.Check("connected", client.IsConnected() ? "1" : "0");
    c.Check("reported", CallbackEvents(kPopError));
    c.Check("events", CallbackEvents());
  }
  EXPECT_EQ(dialogue.Sent(), dialogue.Expected());
  EXPECT_EQ(stop.load(), c.Number("stop")) << "a stop request is left as it is";
  c.Check("secured", std::string(1, dialogue.end().secured));
  EXPECT_EQ(dialogue.end().tls.hostName, dialogue.end().secured == '-' ? "" : "pop.school.example");
  EXPECT_EQ(askedFor, c.Get("asked") == "yes" ? std::vector<std::string>{"u"}
                                              : std::vector<std::string>{});
  PopConnectionsForbidden() = false;
}

TEST_F(PopClientTest, TheDialoguesOfTheDataDirectory) {
  for (const KeyedCase& c : KeyedCases("pop-dialogues")) Play(c);
}

// A message parsed as it arrives is stored whole or not at all, nothing not synced to the disk is
// deleted, and a broken session fetches nothing more: the cases of tests/data/pop-arrivals.
uint32_t retrievalsStarted = 0;
void CountRetrievals(uint32_t event, uint32_t) { retrievalsStarted += event == kPopRetrievalStart; }

TEST(ReceiveByPopTest, AMessageIsStoredWholeOrLeftOnTheServer) {
  const std::string bytes = RandomBytes(3 << 20, 3);
  std::string encoded;
  Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), encoded);
  // Lines of 77 characters: groups cross the breaks, so the reader cuts the long run itself.
  std::erase_if(encoded, [](char c) { return c == '\r' || c == '\n'; });
  std::string lines;
  for (size_t at = 0; at < encoded.size(); at += 77) lines += encoded.substr(at, 77) + "\r\n";
  const std::string attached = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nbody"
                               "\r\n--b\r\nContent-Type: text/html\r\n\r\n<p>body</p>\r\n"
                               "--b\r\nContent-Type: application/x; name=a.bin\r\n"
                               "Content-Transfer-Encoding: base64\r\n\r\n" + lines + "--b--\r\n";
  for (const KeyedCase& c : KeyedCases("pop-arrivals")) {
    SCOPED_TRACE(c.name);
    const bool isAttached = c.Has("attached");
    const std::string text = isAttached ? attached : "Subject: s\r\n\r\nbody\r\n";
    const size_t quarter = text.size() / 4;
    const bool whole = c.Number("sent") == 4;
    TempDirectory reception;
    TemporaryDirectoryOverride temporary;
    ScriptedServer server([&](ServerSide& side) {
      side.Send("+OK ready\r\n");
      const std::vector<std::string> replies = {
          "+OK\r\n", "+OK\r\n", "+OK " + c.Get("mails") + " 40\r\n",
          "+OK 1 " + std::to_string(text.size() * c.Number("listed") / 4) + "\r\n",
          "+OK\r\n" + text.substr(0, quarter)};
      for (const std::string& reply : replies) {
        side.ReadLine();
        side.Send(reply);
      }
      EXPECT_TRUE(!isAttached || WaitUntil([&] {
        const std::filesystem::directory_iterator entries(reception.path());
        return std::distance(begin(entries), end(entries)) >= 2;
      }));
      if (c.Has("trickle")) {
        EXPECT_LT(Trickle(side, 1000, std::chrono::milliseconds(10)), 1000) << "never gave up";
      }
      side.Send(whole ? text.substr(quarter) + ".\r\n"
                      : text.substr(quarter, quarter * (c.Number("sent") - 1)));
      while (whole && side.ReadLine() && side.Send("+OK\r\n")) {
      }
    });
    SetPopSettings("127.0.0.1", server.port(), "u", "p");
    MailMessage message(nullptr, nullptr, nullptr);
    message.timeoutMs = isAttached ? message.timeoutMs : 300;
    message.SetProgressCallback(CountRetrievals);
    retrievalsStarted = 0;
    MailDataList list;
    platform::FileFaults faults;
    const std::string fault = c.Get("fault");
    if (fault == "disk-full") faults.FillDiskAfter(0);
    if (fault == "file-sync") faults.Fail(platform::FileOperation::Sync, 1);
    if (fault == "directory-sync") faults.Fail(platform::FileOperation::Sync, 2);
    if (fault == "rename") faults.Fail(platform::FileOperation::Rename, 1);
    EXPECT_TRUE(ReceiveByPop(message, list, reception.path()));
    const bool deleted = server.transcript().find("DELE") != std::string::npos;
    std::string left = std::to_string(list.Size()) + (deleted ? " 1 " : " 0 ") +
                       (std::filesystem::is_empty(reception.path()) ? "0 " : "1 ") +
                       (faults.Fired() ? "1 " : "0 ") + std::to_string(retrievalsStarted);
    if (c.Get("left").ends_with('-')) left.back() = '-';
    EXPECT_EQ(left, c.Get("left")) << server.transcript().substr(0, 200);
    EXPECT_EQ(temporary.Files(), std::vector<std::string>{}) << "no part file is left";
    if (isAttached && list.Size() == 1) {
      EXPECT_EQ(std::tie(list[0].message, list[0].bodyType, list[0].bodyIndex, list[0].codePage),
                std::make_tuple("body", MailData::kBodyHtml, 0,
                                static_cast<int32_t>(platform::AnsiCodePage())))
          << "the HTML part, not the attached file; texts in the library's code page";
      ASSERT_EQ(list[0].attachmentFiles.size(), 2u);
      EXPECT_TRUE(ReadFile(list[0].attachmentFiles[1]) == bytes);
    }
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
      std::string retrievalsThenDeletions;
      for (const std::string& command : drop.Commands()) {
        if (command.starts_with("RETR") || command.starts_with("DELE")) {
          retrievalsThenDeletions += command[0];
        }
      }
      EXPECT_EQ(retrievalsThenDeletions,
                std::string(messages, 'R') + std::string(syncFails ? 0 : messages, 'D'));
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
