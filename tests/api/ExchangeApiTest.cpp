// Sending exchange items and the background exchange operations through
// libquorvel.so: routes rewritten and sent into a shared directory, the sent
// and not-sent lists, and workers whose callbacks report on their own thread.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;

std::mutex lock;
std::condition_variable done;
int completions = 0;
uint32_t lastResult = 99;
std::thread::id completedOn;
// The worker takes it once more after the callback, to leave the context.
std::mutex hostMutex;

void OnCompletion(uint32_t userValue, uint32_t result) {
  std::lock_guard hold(lock);
  EXPECT_EQ(userValue, 7u);
  lastResult = result;
  completedOn = std::this_thread::get_id();
  ++completions;
  done.notify_all();
}

// Waits for the next callback and answers its result.
uint32_t Completion() {
  std::unique_lock hold(lock);
  done.wait(hold, [] { return completions == 1; });
  completions = 0;
  EXPECT_NE(completedOn, std::this_thread::get_id());
  return lastResult;
}

bool WriteMail(const std::string& route) {
  const CodedText reference(1252, WideString(u"lesson"));
  const CodedText pupil(1252, WideString(u"Anna"));
  const WideString text(u"text");
  const ArchivedU32 options(0);
  const std::vector<std::string> none;
  return TessalyPupilWriteMail(1, &reference, &pupil, 0, 0, &text, &options, 0, "", "", &none,
                               &none, &none, nullptr, &route, 0xFFFFFFFF);
}

uint32_t SizeOf(const IndexEntryArray* list) { return list == nullptr ? 99 : list->Size(); }

TEST(ExchangeApi, SendingAlongRewrittenRoutes) {
  TempDirectory base, share;
  std::thread([&] {
    EXPECT_FALSE(TessalySendMails()) << "no context";
    ASSERT_NE(MTAddNew(nullptr), 0);
    EXPECT_FALSE(TessalySendMails()) << "no mailbox";
    EXPECT_EQ(TessalyGetSentItems(), nullptr);
    EXPECT_EQ(TessalyGetNotSentItems(), nullptr);
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    ASSERT_TRUE(WriteMail("2|a|b|25"));
    ASSERT_TRUE(TessalySendMails());
    EXPECT_EQ(SizeOf(TessalyGetNotSentItems()), 1u);
    EXPECT_EQ(SizeOf(TessalyGetSentItems()), 0u);
    TessalyChangeOutProtocolForUnsentMessages(("3|" + share.path()).c_str(), "2|a|b|25");
    ASSERT_TRUE(TessalySendMails());
    ASSERT_EQ(SizeOf(TessalyGetSentItems()), 1u);
    EXPECT_EQ((*TessalyGetSentItems())[0], TessalyGetItemAtIndex(0));
    EXPECT_EQ(SizeOf(TessalyGetNotSentItems()), 0u);
    EXPECT_EQ(TessalyGetItemAttributes(0) & 0x0002, 0);
    const std::string& fileName = TessalyGetItemAtIndex(0)->fileName;
    EXPECT_EQ(ReadFile(share / fileName), ReadFile(base / ("anna/mailbox/" + fileName)));
    EXPECT_FALSE(ReadFile(share / fileName).empty());
    TessalySetDllLockingMode(0x1);
    EXPECT_FALSE(TessalySendMails());
    EXPECT_EQ(SizeOf(TessalyGetSentItems()), 1u) << "the last run's list stays";
    MTRemove();
  }).join();
}

TEST(ExchangeApi, BackgroundOperationsReportThroughTheCallback) {
  TempDirectory base, drop;
  std::thread([&] {
    EXPECT_FALSE(TessalyThreadedSendMails(OnCompletion, 7)) << "no context";
    ASSERT_NE(MTAddNew(hostMutex.native_handle()), 0);
    EXPECT_FALSE(TessalyThreadedReceiveMails(OnCompletion, 7)) << "no mailbox";
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    ASSERT_TRUE(WriteMail("2|a|b|25"));
    ASSERT_TRUE(TessalyThreadedSendMails(OnCompletion, 7));
    EXPECT_EQ(Completion(), 1u) << "the run took place";
    EXPECT_EQ(SizeOf(TessalyGetNotSentItems()), 1u);
    TessalyAddProtocolFileIn(drop.path().c_str());
    ASSERT_TRUE(TessalyThreadedReceiveAndSendMails(OnCompletion, 7));
    EXPECT_EQ(Completion(), 1u);
    TessalySetDllLockingMode(0x1);
    EXPECT_FALSE(TessalyThreadedSendMails(OnCompletion, 7));
    ASSERT_TRUE(TessalyThreadedReceiveAndSendMails(OnCompletion, 7));
    EXPECT_EQ(Completion(), 0u) << "the send run was refused inside the worker";
    TessalySetDllLockingMode(0x2);
    EXPECT_FALSE(TessalyThreadedReceiveMails(OnCompletion, 7));
    TessalySetDllLockingMode(0x3);
    EXPECT_FALSE(TessalyThreadedReceiveAndSendMails(OnCompletion, 7));
    TessalySetDllLockingMode(0);
    ASSERT_TRUE(TessalyThreadedReceiveMails(OnCompletion, 7));
    EXPECT_EQ(Completion(), 1u);
    MTRemove();
  }).join();
}

}  // namespace
