// Context life cycle and the setters, driven through libquorvel.so from
// several host threads as a host does; the header-only classes a host that
// links nothing but libquorvel.so builds, copies and hands to the exports;
// the host's log table, to which MailsInitializexLogFile adds the calling
// thread's object with the host's template settings.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "OnHostThread.h"
#include "TempDirectory.h"
#include "WaitUntil.h"
#include "quorvel/CodedTextArray.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;
constexpr int32_t kNoDirectory = 32770;

TEST(ContextLifeCycle, EachThreadHasOneContextThatOneRemoveEnds) {
  constexpr int kThreads = 8;
  std::mutex hostMutex;
  std::atomic<int> ready{0};
  std::atomic<bool> release{false};
  std::vector<int32_t> errors(kThreads), leftAfterRemove(kThreads);
  const int32_t before = MTRemove();  // no context here: just the count
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      EXPECT_NE(MTAddNew(hostMutex.native_handle()), 0);
      EXPECT_EQ(MailsGetPercentSent(), 0) << "a new context has sent nothing";
      EXPECT_NE(MTAddNew(nullptr), 0);
      // Even threads set a bad reception directory, odd ones a good one.
      MailsSetReceptionDirectory(i % 2 == 0 ? nullptr : "/");
      ++ready;
      EXPECT_TRUE(WaitUntil([&] { return release.load(); }, std::chrono::minutes(1)));
      errors[i] = MailsGetLastErrorCode();
      leftAfterRemove[i] = MTRemove();
      EXPECT_EQ(MailsGetPercentSent(), -1) << "one remove ends the context";
    });
  }
  EXPECT_TRUE(WaitUntil([&] { return ready == kThreads; }, std::chrono::minutes(1)));
  EXPECT_EQ(MTRemove(), before + kThreads) << "every thread holds one entry";
  release = true;
  for (auto& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(errors[i], i % 2 == 0 ? kNoDirectory : 0) << "thread " << i;
    EXPECT_GE(leftAfterRemove[i], before);
    EXPECT_LT(leftAfterRemove[i], before + kThreads);
  }
  EXPECT_EQ(MTRemove(), before);
}

intptr_t IgnoreMessages(ClientWindow*, uint32_t, uintptr_t, intptr_t) { return 0; }
void IgnoreProgress(uint32_t, uint32_t) {}

// Without a context the reads answer neutral values and the setters succeed
// and create nothing; with one, directories are created where they can be,
// and each setter resets the last error.
TEST(Setters, DirectoriesAreCreatedWhereTheyCanBeAndEachResetsTheLastError) {
  TempDirectory dir;
  WriteFile(dir / "file", "x");
  const std::string belowFile = dir / "file/below";
  ClientWindow window{&IgnoreMessages, nullptr};
  const std::function<bool()> setters[] = {
      [&] { MailsSetClientWindow(&window); return true; },
      [] { MailsSetCallback(&IgnoreProgress); return true; }, MailsUseMAPI, MailsUseNOTES,
      [] { return MailsSetOutDirectory(nullptr); }, [] { return MailsSetSentDirectory(nullptr); },
      [&] { return MailsUseSMTP_POP(nullptr, 0, nullptr, nullptr, nullptr, 0, nullptr,
                                    dir.path().c_str(), 0); }};
  std::thread([&] {
    EXPECT_EQ(MailsGetPercentSent(), -1);
    for (const auto& set : setters) EXPECT_TRUE(set());
    EXPECT_TRUE(MailsSetReceptionDirectory(nullptr));
    EXPECT_TRUE(MailsSetOutDirectory((dir / "none/out").c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir / "none")) << "nothing is created without a context";
    EXPECT_EQ(MailsGetLastErrorCode(), 0);

    MTAddNew(nullptr);
    EXPECT_TRUE(MailsSetOutDirectory((dir / "out/a/b").c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "out/a/b"));
    EXPECT_TRUE(MailsSetSentDirectory((dir / "sent").c_str()));
    EXPECT_TRUE(MailsSetReceptionDirectory((dir / "in/").c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "in"));
    EXPECT_TRUE(MailsSetReceptionDirectory("quorvel-bare-name")) << "counts as created";
    EXPECT_FALSE(std::filesystem::exists("quorvel-bare-name"));
    EXPECT_FALSE(MailsSetSentDirectory(belowFile.c_str()));
    for (const char* bad : {belowFile.c_str(), "", static_cast<const char*>(nullptr)}) {
      EXPECT_FALSE(MailsSetReceptionDirectory(bad));
      EXPECT_EQ(MailsGetLastErrorCode(), kNoDirectory);
    }
    for (const auto& set : setters) {
      MailsSetReceptionDirectory(nullptr);
      ASSERT_EQ(MailsGetLastErrorCode(), kNoDirectory);
      set();
      EXPECT_EQ(MailsGetLastErrorCode(), 0);
    }
    MTRemove();
  }).join();
}

TEST(SharedClasses, AHostBuildsCopiesAndPassesThem) {
  CodedTextArray names;
  names.Add(CodedText(1252, WideString(u"Pupil P")));
  names.Adopt(std::make_unique<CodedText>(1250, WideString(u"\u0158eh\u00E1k")));
  const CodedTextArray copy = names;
  names.RemoveAt(0);
  ASSERT_EQ(copy.Size(), 2u) << "the copy is deep";
  EXPECT_EQ(copy[1].text.Right(4).View(), u"eh\u00E1k");
  CodedTextArray assigned;
  assigned = names;
  const CodedTextArray moved = std::move(assigned);
  ASSERT_EQ(moved.Size(), 1u);
  EXPECT_EQ(moved[0], copy[1]);
  EXPECT_TRUE(assigned.IsEmpty());
  OnHostThread([&] {
    EXPECT_TRUE(MailsUseSMTP_POP("127.0.0.1", 110, "pupil", "pw", "127.0.0.1", 25, &copy[0],
                                 nullptr, 0));
  });
}

TEST(InitializeLogFile, EveryCallingThreadGetsACopyOfTheTemplate) {
  CxThreadObjects table;
  auto host = std::make_unique<ThreadLogObject>();  // the host's own, registered first
  host->logDirectory = "/var/log/host/", host->filePrefix = "host";
  host->keepCount = 5, host->sourceId = 12, host->valueOne = 34;
  host->fixedKeys = {5};
  host->fixedValues = {"host only"};
  table.Add(1, std::move(host));
  for (int i = 0; i < 3; ++i) std::thread([&] { MailsInitializexLogFile(&table); }).join();
  std::thread([&] {
    MailsInitializexLogFile(&table);
    MailsInitializexLogFile(&table);  // a second call finds the same object
  }).join();
  ASSERT_EQ(table.objects.size(), 5u);
  EXPECT_FALSE(table.sorted);
  const auto settings = [](const ThreadLogObject& o) {
    return std::tie(o.logDirectory, o.filePrefix, o.keepCount, o.sourceId, o.valueOne);
  };
  for (size_t i = 1; i < table.objects.size(); ++i) {
    const ThreadLogObject& copy = *table.objects[i];
    EXPECT_EQ(settings(copy), settings(*table.objects[0]));
    EXPECT_TRUE(copy.fixedKeys.empty() && copy.fixedValues.empty()) << "they stay the host's";
    EXPECT_NE(table.threadIds[i], 1u);
  }
  MailsInitializexLogFile(nullptr);
}

}  // namespace
