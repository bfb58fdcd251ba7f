// The background workers and the receive through libquorvel.so: callbacks on the worker's own
// thread, the send controls, stops, the run's lists, the routes of unsent items, shared
// directories.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "HostWrites.h"
#include "OnHostThread.h"
#include "TempDirectory.h"
#include "WaitUntil.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;
namespace fs = std::filesystem;

std::atomic<int> completions{0};
std::atomic<uint32_t> lastResult{99};
std::atomic<std::thread::id> completedOn;
std::mutex hostMutex;      // the worker takes it once more after the callback, to leave

void OnCompletion(uint32_t userValue, uint32_t result) {
  EXPECT_EQ(userValue, 7u);
  lastResult = result;
  completedOn = std::this_thread::get_id();
  ++completions;
}

// Waits for the next callback and answers its result; 99 when none comes within a minute.
uint32_t Completion() {
  if (!WaitUntil([] { return completions == 1; }, std::chrono::minutes(1))) return 99;
  completions = 0;
  EXPECT_NE(completedOn.load(), std::this_thread::get_id());
  return lastResult;
}

// Suspending, resuming and stopping a running worker are the threaded sender's own tests.
TEST(ThreadedSendApi, AWorkerReportsThroughTheCompletionCallback) {
  std::thread([] {
    MailData mail;
    mail.AddTo("tutor@example.test");
    EXPECT_FALSE(MailsThreadedSendMail(&mail, OnCompletion, 7)) << "no context";
    ASSERT_NE(MTAddNew(hostMutex.native_handle()), 0);
    EXPECT_FALSE(MailsStopThreadedSend()) << "no worker";
    EXPECT_FALSE(MailsSuspendThreadedSend());
    EXPECT_FALSE(MailsResumeThreadedSend());
    EXPECT_FALSE(MailsThreadedSendMail(nullptr, OnCompletion, 7));
    EXPECT_EQ(MailsGetLastErrorCode(), 32774) << "no mail";
    MailsUseMAPI();
    ASSERT_TRUE(MailsThreadedSendMail(&mail, OnCompletion, 7));
    EXPECT_EQ(Completion(), 0u);
    EXPECT_EQ(MailsGetLastErrorCode(), 10) << "no MAPI provider on this machine";
    std::lock_guard hold(hostMutex);
    MTRemove();
  }).join();
}

// The host's thread with a context and a mailbox holding one item queued to `outbox`.
void OpenWithOneQueuedItem(const TempDirectory& base, const TempDirectory& outbox) {
  ASSERT_NE(MTAddNew(hostMutex.native_handle()), 0);
  ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
  ASSERT_TRUE(HostWritesMail(UINT32_MAX, {.route = "3|" + outbox.path()}));
}

std::atomic<bool> stopWhenConnecting{false};
std::atomic<bool> stopAnswered{false};
// Runs on the worker during the receive: a POP connection begins.
void OnProgress(uint32_t event, uint32_t) {
  if (event != 1 || !stopWhenConnecting.exchange(false)) return;
  EXPECT_FALSE(MailsSuspendThreadedSend()) << "a worker cannot wait for itself";
  stopAnswered = MailsStopThreadedSend();
}

TEST(ExchangeApi, AStopDuringTheReceiveEndsTheRunBeforeTheSend) {
  TempDirectory base, outbox;
  std::thread([&] {
    OpenWithOneQueuedItem(base, outbox);
    TessalyAddProtocolPopIn("127.0.0.1", 1, "anna", "secret");  // nothing listens there
    MailsSetCallback(OnProgress);
    for (const bool stop : {true, false}) {
      SCOPED_TRACE(stop ? "stopped" : "not stopped");
      stopWhenConnecting = stop;
      stopAnswered = false;
      ASSERT_TRUE(TessalyThreadedReceiveAndSendMails(OnCompletion, 7));
      EXPECT_EQ(Completion(), 1u) << "an unreachable account is no failed receive";
      EXPECT_EQ(stopAnswered.load(), stop);
      EXPECT_EQ((TessalyGetItemAttributes(0) & kItemNotSent) != 0, stop);
      EXPECT_EQ(fs::is_empty(outbox.path()), stop);
    }
    MTRemove();
  }).join();
}

// The completion callback of a background send starts the background receive.
void StartTheReceive(uint32_t userValue, uint32_t) {
  if (!TessalyThreadedReceiveMails(OnCompletion, userValue)) OnCompletion(userValue, 98);
}

TEST(ExchangeApi, ACompletionCallbackStartsTheNextOperationEveryRound) {
  TempDirectory base;
  std::thread([&] {
    ASSERT_NE(MTAddNew(hostMutex.native_handle()), 0);
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    for (int round = 0; round < 200; ++round) {
      ASSERT_TRUE(TessalyThreadedSendMails(StartTheReceive, 7)) << "round " << round;
      ASSERT_EQ(Completion(), 1u) << "round " << round << " (98: refused, 99: never called back)";
    }
    std::lock_guard hold(hostMutex);
    MTRemove();
  }).join();
}

// A removal takes its entries out of the lists, closing the mailbox empties them; unsent
// items given a route that works go with the next run.
TEST(ExchangeApi, TheRunsListsNeverHoldAnEntryGone) {
  TempDirectory base, outbox;
  std::thread([&] {
    EXPECT_FALSE(TessalySendMails()) << "no context";
    EXPECT_FALSE(TessalyThreadedSendMails(OnCompletion, 7)) << "no context";
    ASSERT_NE(MTAddNew(hostMutex.native_handle()), 0);
    EXPECT_FALSE(TessalyThreadedReceiveMails(OnCompletion, 7)) << "no mailbox";
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    for (int item = 0; item < 2; ++item) {
      ASSERT_TRUE(HostWritesMail(UINT32_MAX, {.route = "2|a|b|25"}));  // refused there
    }
    ASSERT_TRUE(TessalyThreadedSendMails(OnCompletion, 7));
    EXPECT_EQ(Completion(), 1u) << "the run took place";
    ASSERT_EQ(TessalyGetNotSentItems()->Size(), 2u);
    IndexEntry* kept = TessalyGetItemAtIndex(1);
    ASSERT_TRUE(TessalyRemoveMailAtIndex(0));
    ASSERT_EQ(TessalyGetNotSentItems()->Size(), 1u);
    EXPECT_EQ((*TessalyGetNotSentItems())[0], kept);
    TessalyChangeOutProtocolForUnsentMessages(("3|" + outbox.path()).c_str(), nullptr);
    ASSERT_TRUE(TessalySendMails());
    EXPECT_EQ(TessalyGetNotSentItems()->Size(), 0u);
    ASSERT_EQ(TessalyGetSentItems()->Size(), 1u);
    EXPECT_EQ((*TessalyGetSentItems())[0], kept);
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    EXPECT_EQ(TessalyGetNotSentItems()->Size(), 0u);
    std::lock_guard hold(hostMutex);
    MTRemove();
  }).join();
}

std::string Correspondents() {
  std::string names;
  for (uint32_t i = 0; const IndexEntry* entry = TessalyGetItemAtIndex(i); ++i) {
    for (const char16_t c : entry->correspondent.text.View()) names += static_cast<char>(c);
    names += "/" + std::to_string(entry->depth) + " ";
  }
  return names;
}

std::vector<std::string> FileNames(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Mails of three extensions in a shared directory registered twice: taken in the extensions'
// order, each once (one item under two names once); another file stays; locked, none.
TEST(ReceivingApiTest, ASharedDirectoryGivesEveryItemOnce) {
  TempDirectory base;
  TempDirectory shared;
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    for (const char16_t* pupil : {u"Cleo", u"Bert", u"Anna"}) {
      ASSERT_TRUE(HostWritesMail(99, {.pupil = pupil}));
    }
    const std::pair<uint32_t, const char*> copies[] = {
        {0, "c.qvs"}, {1, "b.qv5"}, {2, "a.qv6"}, {2, "e.qv6"}, {2, "d.txt"}};
    for (const auto& [index, name] : copies) {
      fs::copy_file(base / "anna/mailbox/" + TessalyGetItemAtIndex(index)->fileName,
                    shared / name);
    }

    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "tom"));
    std::string directory = shared.path();
    directory.pop_back();  // registered without its separator
    TessalyAddProtocolFileIn(directory.c_str());
    TessalyAddProtocolFileIn(shared.path().c_str());
    TessalyAddProtocolHttpIn("web", 80, "box");
    TessalySetDllLockingMode(0x2);
    EXPECT_FALSE(TessalyReceiveMails());
    EXPECT_EQ(FileNames(shared.path()).size(), 5u);
    TessalySetDllLockingMode(0x1);
    ASSERT_TRUE(TessalyReceiveMails());
    EXPECT_EQ(Correspondents(), "Anna/0 Bert/0 Cleo/0 ");
    EXPECT_EQ(FileNames(shared.path()), std::vector<std::string>{"d.txt"});
    ASSERT_TRUE(TessalyReceiveMails());  // nothing left: nothing more
    EXPECT_EQ(TessalyGetItemAtIndex(3), nullptr);
  });
}

// Two pupils sending the first item of a mailbox ("~AT0.qv6") into one shared directory.
TEST(ReceivingApiTest, TwoSendersIntoOneSharedDirectoryNeverOverwriteEachOther) {
  TempDirectory base;
  TempDirectory shared;
  const std::string route = "3|" + shared.path();
  std::vector<std::thread> senders;
  for (const char16_t* pupil : {u"Anna", u"Bert"}) {
    senders.emplace_back([&, pupil] {
      OnHostThread([&] {
        const std::string user(pupil, pupil + 4);
        ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), user.c_str()));
        ASSERT_TRUE(HostWritesMail(99, {.pupil = pupil, .route = route}));
        EXPECT_EQ(TessalyGetItemAtIndex(0)->fileName, "~AT0.qv6");
        ASSERT_TRUE(TessalySendMails());
        EXPECT_EQ(TessalyGetItemAttributes(0) & 0x0002, 0) << "sent";
      });
    });
  }
  for (std::thread& sender : senders) sender.join();
  EXPECT_EQ(FileNames(shared.path()), (std::vector<std::string>{"~AT0.qv6", "~AT1.qv6"}));
  EXPECT_NE(ReadFile(shared / "~AT0.qv6"), ReadFile(shared / "~AT1.qv6"));
}

}  // namespace
