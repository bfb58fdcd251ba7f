// Context life cycle and the setters, driven through libquorvel.so from
// several host threads as a host does.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using quorvel::testing::TempDirectory;

constexpr int32_t kNoDirectory = 32770;

// Runs `body` on a fresh host thread and waits for it.
template <typename Body>
void OnNewThread(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST(ContextLifeCycle, AddNewTwiceThenOneRemoveEndsTheContext) {
  std::mutex hostMutex;
  OnNewThread([&] {
    const int32_t othersBefore = MTRemove();  // no context yet: just the count
    EXPECT_NE(MTAddNew(hostMutex.native_handle()), 0);
    EXPECT_EQ(MailsGetPercentSent(), 0) << "a new context has sent nothing";
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
    EXPECT_NE(MTAddNew(nullptr), 0);
    EXPECT_TRUE(MailsUseMAPI());
    EXPECT_EQ(MTRemove(), othersBefore);
    EXPECT_EQ(MailsGetPercentSent(), -1) << "the context is gone after one remove";
  });
}

TEST(ContextLifeCycle, EachThreadHasItsOwnContext) {
  constexpr int kThreads = 8;
  std::mutex mutex;
  std::condition_variable changed;
  int ready = 0;
  bool release = false;
  const auto within = [&](std::unique_lock<std::mutex>& lock, auto condition) {
    return changed.wait_for(lock, std::chrono::minutes(1), condition);
  };
  std::vector<std::thread> threads;
  std::vector<int32_t> leftAfterRemove(kThreads);
  std::vector<int32_t> errors(kThreads);
  const int32_t before = MTRemove();
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      MTAddNew(nullptr);
      // Even threads set a bad reception directory, odd ones a good one.
      MailsSetReceptionDirectory(i % 2 == 0 ? nullptr : "/");
      std::unique_lock lock(mutex);
      ++ready;
      changed.notify_all();
      EXPECT_TRUE(within(lock, [&] { return release; })) << "never released";
      lock.unlock();
      errors[i] = MailsGetLastErrorCode();
      leftAfterRemove[i] = MTRemove();
    });
  }
  {
    std::unique_lock lock(mutex);
    EXPECT_TRUE(within(lock, [&] { return ready == kThreads; })) << ready << " threads ready";
    EXPECT_EQ(MTRemove(), before + kThreads) << "every thread holds one entry";
    release = true;
    changed.notify_all();
  }
  for (auto& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(errors[i], i % 2 == 0 ? kNoDirectory : 0) << "thread " << i;
    EXPECT_GE(leftAfterRemove[i], before);
    EXPECT_LT(leftAfterRemove[i], before + kThreads);
  }
  EXPECT_EQ(MTRemove(), before);
}

TEST(WithoutAContext, ReadsAnswerNeutralValuesAndSettersSucceed) {
  OnNewThread([] {
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
    EXPECT_EQ(MailsGetPercentSent(), -1);
    EXPECT_TRUE(MailsUseMAPI());
    EXPECT_TRUE(MailsUseNOTES());
    EXPECT_TRUE(MailsUseSMTP_POP(nullptr, 0, nullptr, nullptr, nullptr, 0, nullptr,
                                 "/no/such/dir", 0));
    EXPECT_TRUE(MailsSetReceptionDirectory(nullptr));
    EXPECT_TRUE(MailsSetOutDirectory("/no/such/dir"));
    EXPECT_FALSE(std::filesystem::exists("/no/such")) << "nothing is created without a context";
    EXPECT_TRUE(MailsSetSentDirectory(nullptr));
    MailsSetClientWindow(nullptr);
    MailsSetCallback(nullptr);
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
  });
}

intptr_t IgnoreMessages(ClientWindow*, uint32_t, uintptr_t, intptr_t) { return 0; }
void IgnoreProgress(uint32_t, uint32_t) {}

TEST(Setters, DirectoriesAreCreatedWhereTheyCanBeAndEachResetsTheLastError) {
  TempDirectory dir;
  OnNewThread([&] {
    MTAddNew(nullptr);
    EXPECT_TRUE(MailsSetOutDirectory((dir / "out/a/b").c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "out/a/b"));
    EXPECT_TRUE(MailsSetSentDirectory((dir / "sent").c_str()));
    EXPECT_TRUE(MailsSetReceptionDirectory((dir / "in/").c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "in"));
    EXPECT_EQ(MailsGetLastErrorCode(), 0);

    quorvel::testing::WriteFile(dir / "file", "x");
    EXPECT_FALSE(MailsSetReceptionDirectory((dir / "file/below").c_str()));
    EXPECT_EQ(MailsGetLastErrorCode(), kNoDirectory);
    EXPECT_FALSE(MailsSetReceptionDirectory(""));
    EXPECT_EQ(MailsGetLastErrorCode(), kNoDirectory);
    EXPECT_FALSE(MailsSetReceptionDirectory(nullptr));
    EXPECT_EQ(MailsGetLastErrorCode(), kNoDirectory);
    EXPECT_FALSE(MailsSetSentDirectory((dir / "file/below").c_str()));

    // Each setter resets the last error; a null directory clears.
    ClientWindow window{&IgnoreMessages, nullptr};
    const std::function<void()> setters[] = {
        [&] { MailsSetClientWindow(&window); }, [] { MailsSetCallback(&IgnoreProgress); },
        [] { EXPECT_TRUE(MailsUseNOTES()); }, [] { EXPECT_TRUE(MailsSetOutDirectory(nullptr)); }};
    for (const auto& set : setters) {
      MailsSetReceptionDirectory(nullptr);
      ASSERT_EQ(MailsGetLastErrorCode(), kNoDirectory);
      set();
      EXPECT_EQ(MailsGetLastErrorCode(), 0);
    }
    EXPECT_TRUE(MailsSetSentDirectory(nullptr));
    EXPECT_TRUE(MailsSetReceptionDirectory("quorvel-bare-name"))
        << "a bare relative name counts as created";
    EXPECT_FALSE(std::filesystem::exists("quorvel-bare-name"));
    MTRemove();
  });
}

}  // namespace
