// The send functions over the MAPI stand-in, which records each delivery, and
// background sending against scripted servers, driven by the worker's events.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "HostLogTable.h"
#include "ScriptedServer.h"
#include "ScriptedSmtp.h"
#include "StandInLibrary.h"
#include "TempDirectory.h"
#include "WaitUntil.h"
#include "frame/ContextTable.h"
#include "mail/MapiMailer.h"
#include "mail/SendFunctions.h"
#include "mail/ThreadedSend.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Threads.h"
#include "protocol/SmtpClient.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class SendFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(mapi.loaded());
    MapiLibraryName() = mapi.directory() + platform::SharedLibraryFileName("MAPI32.DLL");
    ASSERT_TRUE(Contexts().AddNew(platform::CurrentThreadId(), nullptr));
    context = CallingContext();
    context->protocol = kProtocolMapi;
    context->outDirectory = out.path();
    context->sentDirectory = sent.path();
    WriteFile(dir / "a.txt", "A");
    mail.AddTo("one@x.test;two@x.test;three@x.test");
    mail.AddCopy("copy@x.test");
    mail.SetMessage("text");
    mail.AddAttachment(dir / "a.txt", "", 0);
  }
  void TearDown() override {
    Contexts().Remove(platform::CurrentThreadId());
    MapiLibraryName() = platform::SharedLibraryFileName("MAPI32.DLL");
  }

  StandInLibrary mapi{"mapi32-complete", platform::SharedLibraryFileName("MAPI32.DLL")};
  TempDirectory dir, out, sent;
  ThreadContext* context = nullptr;
  MailData mail;
};

TEST_F(SendFunctions, OneMessagePerRecipientThenTheSentDirectory) {
  ASSERT_TRUE(SendMailFromMailData(mail));
  const std::string log = mapi.Log();
  EXPECT_EQ(Count(log, "MAPISendMail("), 3u);
  const size_t one = log.find("\"one@x.test\""), two = log.find("\"two@x.test\""),
               three = log.find("\"three@x.test\"");
  EXPECT_TRUE(one < two && two < three) << log;
  EXPECT_EQ(Count(log, "a.txt\" null"), 3u) << "each message carries the attachment";
  EXPECT_EQ(context->lastError, 0u);
  EXPECT_EQ(mail.filePath, sent / "~AT0.mes");
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));

  mapi.Reset();
  MailData lost = mail;
  lost.attachmentNames.push_back(dir / "gone.txt");  // its file is missing
  lost.attachmentFiles.push_back("");
  EXPECT_FALSE(SendMailFromMailData(lost)) << "sent, but it cannot be copied to the sent directory";
  EXPECT_EQ(context->lastError, 0u);
  EXPECT_EQ(Count(mapi.Log(), "MAPISendMail("), 3u);
  EXPECT_EQ(mapi.Log().find("gone.txt"), std::string::npos) << "a missing file is left out";
}

TEST_F(SendFunctions, AFailureStopsAtItsRecipientAndStoresTheMailInTheOutDirectory) {
  TempDirectory logs;
  HostLogTable log(logs.path(), "qv", 1);
  mapi.Script("MAPISendMail", 2, 2);
  EXPECT_FALSE(SendMailFromMailData(mail));
  const auto files = platform::ListDirectory(logs.path(), "qv*.log");
  ASSERT_EQ(files.size(), 1u);
  const auto logged = [&] { return ReadFile(logs / files[0].name); };
  const std::string line = " 0 100013  3=\"MailsSendMailFromMailData ";
  EXPECT_TRUE(logged().ends_with(line + "Can not send by MAPI\" 1=0\r\n")) << logged();
  EXPECT_EQ(context->lastError, 9u) << "stored without changing the error";
  EXPECT_EQ(Count(mapi.Log(), "MAPISendMail("), 2u) << "the third is not tried";
  EXPECT_EQ(mail.filePath, out / "~AT0.mes");

  // A server's refusal: its reply line follows the error message.
  ScriptedServer server([](ServerSide& side) {
    RefuseTheRecipient(side, "550 5.1.1 <one@x.test>: Recipient address rejected\r\n");
  });
  context->protocol = kProtocolSmtpPop;
  context->smtpHost = "127.0.0.1";
  context->smtpPort = server.port();
  EXPECT_FALSE(SendMailFromMailData(mail));
  EXPECT_EQ(context->lastError, 7u);
  EXPECT_TRUE(logged().ends_with(line + "Sending file not possible: 550 5.1.1 <one@x.test>: "
                                 "Recipient address rejected\" 1=0\r\n")) << logged();

  context->protocol = kProtocolNone;
  context->outDirectory.clear();
  MailData none;
  none.AddTo("x@y.test");
  EXPECT_FALSE(SendMailFromMailData(none));
  EXPECT_EQ(context->lastError, 0x8001u);
  EXPECT_TRUE(none.filePath.empty()) << "no out directory: not stored";
}

// A record without recipients is never taken as sent: it goes to the out
// directory (files without recipients: the exports' tests).
TEST_F(SendFunctions, FilesAndDirectories) {
  MailData nobody;
  nobody.SetSubject("draft");
  EXPECT_FALSE(SendMailFromMailData(nobody));
  EXPECT_EQ(context->lastError, 0x8006u);
  EXPECT_EQ(mapi.Log(), "");
  EXPECT_EQ(nobody.filePath, out / "~AT0.mes");
  std::filesystem::remove(nobody.filePath);
  EXPECT_FALSE(SendMailFromFile(nullptr));
  // Missing, a directory, or there but unreadable.
  WriteFile(dir / "unreadable.mes", "#To : x@y.test\r\n");
  for (const std::string& file : {dir / "missing.mes", dir.path(), dir / "unreadable.mes"}) {
    platform::FileFaults faults;
    if (file.ends_with("unreadable.mes")) faults.Fail(platform::FileOperation::Open, 1);
    EXPECT_FALSE(SendMailFromFile(file.c_str()));
    EXPECT_EQ(context->lastError, file.ends_with("unreadable.mes") ? 0x8006u : 0x8005u) << file;
  }

  TempDirectory queue;
  MailData first = mail, second = mail;
  first.to = {"first@x.test"};
  second.to = {"second@x.test"};
  ASSERT_TRUE(first.WriteToDirectory(queue.path()));
  ASSERT_TRUE(second.WriteToDirectory(queue.path()));
  WriteFile(out / "~AT0.mes", "#To : taken@x.test\r\n");  // the out directory is not empty
  mapi.Script("MAPISendMail", 1, 2);
  EXPECT_TRUE(SendMails(queue.path().c_str()));
  EXPECT_EQ(context->lastError, 0u) << "the last mail's result";
  EXPECT_TRUE(std::filesystem::is_empty(queue.path())) << "the failed one out, the sent one on";
  MailData stored, copy;
  ASSERT_TRUE(stored.ReadFile(out / "~AT1.mes"));
  EXPECT_EQ(stored.to, first.to);
  EXPECT_EQ(stored.attachmentNames, StringList({"a.txt"}));
  ASSERT_TRUE(copy.ReadFile(sent / "~AT0.mes"));
  EXPECT_EQ(copy.to, second.to);

  ASSERT_TRUE(copy.WriteToDirectory(queue.path()));
  context->sentDirectory.clear();
  EXPECT_TRUE(SendMails(queue.path().c_str()));
  EXPECT_TRUE(std::filesystem::is_empty(queue.path())) << "no sent directory: a sent mail goes";
  EXPECT_TRUE(SendMails((dir / "missing").c_str()));
  EXPECT_TRUE(SendMails(nullptr));
}

// What the background worker reports; the progress callback has no user value.
struct Observed {
  ThreadContext* context = nullptr;
  std::vector<int32_t> percents;  // written by the worker only
  std::atomic<bool> reached{false};  // the worker passed 10 %
  std::atomic<bool> hold{false};     // the worker waits in its callback until a request comes
  std::atomic<int> completions{0};
  std::atomic<uint32_t> completionThread{0};
  std::atomic<uint32_t> result{99};
} observed;

// The worker's own request as it passes 10 %: 1 stop, 2 suspend and resume, 3
// suspend; with none (0) it waits there for the host's, for the next checkpoint.
int ownRequest = 0;
void OnProgress(uint32_t event, uint32_t percent) {
  if (event != kSmtpProgress) return;
  observed.percents.push_back(static_cast<int32_t>(percent));
  if (percent < 10 || observed.reached.exchange(true)) return;
  if (ownRequest == 0) {
    EXPECT_TRUE(WaitUntil([] {
      return !observed.hold || observed.context->stopRequested != 0 ||
             observed.context->suspendRequested != 0;
    }));
    return;
  }
  const bool answered = ownRequest == 1 ? StopThreadedSend() : !SuspendThreadedSend();
  EXPECT_TRUE(answered) << "a suspend cannot wait for the caller itself";
  if (ownRequest == 2) {
    EXPECT_TRUE(ResumeThreadedSend());
  }
}

void OnCompletion(uint32_t userValue, uint32_t result) {
  EXPECT_EQ(userValue, 77u);
  observed.completionThread = platform::CurrentThreadId();
  observed.result = result;
  ++observed.completions;  // last: the values above are set when it is seen
}

// The deliveries of 20 MB take their time on a loaded machine.
bool WaitFor(const std::function<bool()>& condition) {
  return WaitUntil(condition, std::chrono::seconds(30));
}

class ThreadedSend : public ::testing::Test {
 protected:
  void SetUp() override {
    observed.hold = true;
    ownRequest = 0;
    WriteFile(dir / "big.bin", std::string(20 << 20, 'x'));
    mail.AddTo("tutor@example.test");
    mail.from = "pupil@example.test";
    mail.AddAttachment(dir / "big.bin", "", 0);
  }
  // A context for this thread that sends by SMTP to `port`.
  ThreadContext* NewContext(uint16_t port, MutexHandle mutex) {
    EXPECT_TRUE(Contexts().AddNew(platform::CurrentThreadId(), mutex));
    ThreadContext* context = CallingContext();
    context->protocol = kProtocolSmtpPop;
    context->smtpHost = "127.0.0.1";
    context->smtpPort = port;
    context->mimeDirectory = dir.path();
    context->progressCallback = OnProgress;
    return context;
  }
  void UseContext(uint16_t port) {
    observed.percents.clear();
    observed.reached = false;
    observed.completions = 0;
    observed.result = 99;
    observed.context = NewContext(port, hostMutex.handle());
  }

  TempDirectory dir;
  MailData mail;
  platform::HostMutex hostMutex;
};

TEST_F(ThreadedSend, SuspendAndResumeCompleteTheDelivery) {
  ScriptedServer server(ServeSmtpSession);
  UseContext(server.port());
  // A priority of the host's own, which a stop must leave as it is.
  ASSERT_TRUE(platform::SetCurrentThreadPriority(platform::kPriorityBelowNormal));
  observed.context->stopRequested = 1;  // left over: a new send starts without it
  ASSERT_TRUE(ThreadedSendMail(&mail, OnCompletion, 77));
  EXPECT_FALSE(ThreadedSendMail(&mail, OnCompletion, 77)) << "one worker per context";
  EXPECT_EQ(mail.ownerThreadId, platform::CurrentThreadId());
  const auto worker = observed.context->workerThread;
  ASSERT_TRUE(WaitFor([] { return observed.reached.load() || observed.completions > 0; }));
  ASSERT_TRUE(observed.reached) << "the delivery ended before it was under way";
  EXPECT_TRUE(ResumeThreadedSend()) << "a running worker resumes without failing";
  ASSERT_TRUE(SuspendThreadedSend());
  EXPECT_TRUE(worker->IsSuspended());
  EXPECT_TRUE(SuspendThreadedSend()) << "suspended already: no wait for ever";
  const int32_t held = observed.context->percentSent;
  EXPECT_TRUE(held >= 10 && held < 100) << held;
  EXPECT_TRUE(StopThreadedSend()) << "a suspended worker ends the wait at once";
  EXPECT_EQ(platform::CurrentThreadPriority(), platform::kPriorityBelowNormal);
  platform::SetCurrentThreadPriority(platform::kPriorityNormal);  // where the system lets it
  observed.context->stopRequested = 0;  // taken back
  EXPECT_TRUE(ResumeThreadedSend());
  ASSERT_TRUE(WaitFor([] { return observed.completions == 1; }));
  ASSERT_TRUE(worker->Wait(10000));
  EXPECT_EQ(observed.completionThread, worker->Id()) << "called on the worker thread";
  EXPECT_EQ(std::tie(observed.result, observed.context->percentSent, observed.percents.back()),
            std::make_tuple(1u, 100, 100));
  EXPECT_TRUE(std::is_sorted(observed.percents.begin(), observed.percents.end()));
  EXPECT_EQ(observed.context->workerThread, nullptr);
  EXPECT_NE(server.transcript().find("MAIL FROM: <pupil@example.test>"), std::string::npos);
  EXPECT_EQ(observed.completions, 1);
  Contexts().Remove(platform::CurrentThreadId());
}

// A request, from the host or the worker's own callback, is obeyed at the next
// checkpoint (a stop with the data step's error); one undone at once is not.
TEST_F(ThreadedSend, StopsAndRequestsFromTheWorkersOwnCallback) {
  for (ownRequest = 0; ownRequest <= 3; ++ownRequest) {
    SCOPED_TRACE(ownRequest);
    ScriptedServer server(ServeSmtpSession);
    UseContext(server.port());
    ASSERT_TRUE(ThreadedSendMail(&mail, OnCompletion, 77));
    const auto worker = observed.context->workerThread;
    if (ownRequest == 0) {
      ASSERT_TRUE(WaitFor([] { return observed.reached.load(); }));
      EXPECT_TRUE(StopThreadedSend());
    }
    if (ownRequest == 3) {
      ASSERT_TRUE(WaitUntil([&] { return worker->IsSuspended(); }));
      EXPECT_EQ(observed.completions, 0);
      EXPECT_TRUE(ResumeThreadedSend());
    }
    ASSERT_TRUE(WaitFor([] { return observed.completions == 1; }));
    ASSERT_TRUE(worker->Wait(10000));  // it takes the fixture's mutex once more to leave
    const bool stopped = ownRequest <= 1;
    EXPECT_EQ(observed.result, stopped ? 0u : 1u);
    EXPECT_EQ(observed.context->lastError, stopped ? 7u : 0u);
    EXPECT_EQ(observed.percents.back() == 100, !stopped);
    const std::string& transcript = server.transcript();
    EXPECT_EQ(transcript.find("\r\n.\r\n") == std::string::npos, stopped) << "amid the data";
    EXPECT_EQ(transcript.ends_with("QUIT\r\n"), !stopped) << "a stop leaves unannounced";
    EXPECT_EQ(observed.context->stopRequested + observed.context->suspendRequested, 0);
    Contexts().Remove(platform::CurrentThreadId());
  }
  ownRequest = 0;
}

// Two hosts, contexts and servers: each delivery carries its own sender, the name in
// the mail's code page; only the first of two messages goes to the copy too.
TEST_F(ThreadedSend, TwoContextsSendingAtOnceKeepTheirSenders) {
  ScriptedServer first(ServeSmtpSession, 2), second(ServeSmtpSession, 2);
  std::atomic<int> ready{0};
  auto host = [&](uint16_t port, const char* from, const char* name, int32_t codePage) {
    NewContext(port, nullptr)->progressCallback = nullptr;
    MailData own;
    own.AddTo("tutor@example.test;head@example.test");
    own.AddCopy("copy@example.test");
    own.from = from;
    own.senderName = name;
    own.codePage = codePage;
    ++ready;
    EXPECT_TRUE(WaitUntil([&] { return ready == 2; }));
    EXPECT_TRUE(DeliverMailData(own));
    Contexts().Remove(platform::CurrentThreadId());
  };
  std::thread a(host, first.port(), "a@example.test", "Pupil A", 1252),
      b(host, second.port(), "natalya@example.test", "Наталья", 65001);
  a.join();
  b.join();
  for (auto [server, from, header] :
       {std::tuple{&first, "a@example.test", "\"Pupil A\""},
        {&second, "natalya@example.test", "=?utf-8?B?0J3QsNGC0LDQu9GM0Y8=?="}}) {
    const std::string transcript = server->transcript();
    EXPECT_NE(transcript.find("MAIL FROM: <" + std::string(from) + ">"), std::string::npos);
    EXPECT_NE(transcript.find("\r\nFrom: " + std::string(header) + " <" + from + ">\r\n"),
              std::string::npos)
        << transcript.substr(0, 600);
    EXPECT_EQ(Count(transcript, "RCPT TO: <copy@example.test>"), 1u) << "one copy";
  }
}

}  // namespace
}  // namespace quorvel
