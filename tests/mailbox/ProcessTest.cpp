// A mailbox against other processes: the held index keeps a second one out;
// a save, or a receive from a POP maildrop, killed at any instant loses
// nothing that had returned (the states a kill leaves are RecoveryTest's).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cstdlib>
#include <future>
#include <random>
#include <thread>

#include "IndexSteps.h"
#include "MailboxFixture.h"
#include "PopMailDrop.h"
#include "WaitUntil.h"
#include "frame/ContextTable.h"
#include "mailbox/MailboxContext.h"
#include "platform/ChildProcess.h"
#include "platform/Threads.h"

namespace quorvel::testing {
namespace {

platform::ChildProcess StartHelper(const std::string& program,
                                   const std::vector<std::string>& args) {
  return std::move(platform::ChildProcess::Start(program, args).value());
}

// Kills `child` after a spin of up to `most` microseconds. Not a wait for
// anything: where the kill lands is what varies.
void KillAfterSpin(platform::ChildProcess& child, std::mt19937& random, int most) {
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::microseconds(std::uniform_int_distribution<int>(0, most)(random));
  while (std::chrono::steady_clock::now() < until) {
  }
  child.Kill();
}

// Kills `child` (failing the test) unless dismissed within a minute. Dismiss
// it before waiting for the child.
class HelperDeadline {
 public:
  explicit HelperDeadline(platform::ChildProcess& child)
      : watcher_(std::async(std::launch::async, [this, &child] {
          if (signal_.wait_for(std::chrono::minutes(1)) == std::future_status::timeout) {
            ADD_FAILURE() << "a helper process outlived its deadline";
            child.Kill();
          }
        })) {}
  ~HelperDeadline() { Dismiss(); }
  void Dismiss() {
    if (!watcher_.valid()) return;
    dismissed_.set_value();
    watcher_.get();
  }

 private:
  std::promise<void> dismissed_;
  std::future<void> signal_ = dismissed_.get_future();
  std::future<void> watcher_;
};

TEST(MailboxProcessTest, TheHeldIndexKeepsASecondProcessOut) {
  TempDirectory base;
  const auto holder = [&] { return StartHelper(QUORVEL_MAILBOX_HOLDER, {base.path(), "anna"}); };
  const auto release = [](platform::ChildProcess& child, int code) {
    child.CloseInput();
    EXPECT_EQ(child.Wait(), code);
  };
  {
    ASSERT_TRUE(Contexts().AddNew(platform::CurrentThreadId(), nullptr));
    ThreadContext& context = *CallingContext();
    ASSERT_TRUE(OpenContextMailbox(base.path().c_str(), "anna"));
    platform::ChildProcess refused = holder();
    EXPECT_EQ(refused.ReadLine(), "refused");
    release(refused, 1);
    ASSERT_TRUE(OpenContextMailbox(base.path().c_str(), "ben"));  // lets anna's go
    platform::ChildProcess holding = holder();
    EXPECT_EQ(holding.ReadLine(), "open");
    EXPECT_FALSE(OpenContextMailbox(base.path().c_str(), "anna"));
    EXPECT_EQ(context.mailbox, nullptr);  // ben's was closed first
    EXPECT_EQ(context.mailboxItems, nullptr);
    release(holding, 0);
    ASSERT_TRUE(OpenContextMailbox(base.path().c_str(), "anna"));
    EXPECT_EQ(context.mailboxDirectory, base / "anna/mailbox/");
    EXPECT_EQ(context.baseDirectory, base.path());
    Contexts().Remove(platform::CurrentThreadId());
  }
  platform::ChildProcess after = holder();
  EXPECT_EQ(after.ReadLine(), "open");  // the context's end let it go
  release(after, 0);
  EXPECT_EQ(ReadFile(base / "anna/mailbox/Mailbox.inv").size(), 23u) << "read once no process holds it";
}

// A helper saving small changes, killed at a random instant after its "open"
// (in a record's append, the index written out, the journal started anew or
// an open); it says each step's number once its save returned.
using KilledHelpers = MailboxTest;

TEST_F(KilledHelpers, ASmallChangeKilledAtAnyInstantLeavesTheOldOrTheNewIndex) {
  ASSERT_TRUE(Open());
  FillVariant(mailbox.Index(), 0);
  ASSERT_TRUE(mailbox.SaveIndex());
  ASSERT_TRUE(mailbox.CloseIndex(false));
  MailboxIndex expected;
  FillVariant(expected, 0);
  uint32_t steps = 0;
  std::mt19937 random{20261206};
  for (int run = 0; run < 100; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    platform::ChildProcess helper = StartHelper(QUORVEL_INDEX_STEPPER, {directory.path()});
    HelperDeadline deadline(helper);
    ASSERT_EQ(helper.ReadLine(), "open");
    KillAfterSpin(helper, random, 40000);
    deadline.Dismiss();
    EXPECT_EQ(helper.Wait(), -1) << "the helper stopped by itself";
    while (const std::optional<std::string> line = helper.ReadLine()) {
      steps = std::max(steps, static_cast<uint32_t>(std::stoul(*line)));
    }
    Mailbox reopened;
    ASSERT_TRUE(reopened.OpenIndex(directory.path(), true, 1, 0));
    ASSERT_GE(reopened.Index().Count(), kVariantEntries);
    const uint32_t reached = reopened.Index().EntryAt(0).writtenTime;
    ASSERT_GE(reached, steps) << "a save that had returned was lost";
    while (expected.EntryAt(0).writtenTime < reached) TakeStep(expected);
    steps = reached;
    ASSERT_EQ(ContentOf(reopened.Index()), ContentOf(expected));
  }
  std::printf("killed stepping saves reached step %u\n", steps);
}

// Runs: 100, or QUORVEL_KILL_RUNS (a process start costs far more under Wine).
const char* const kRunsSet = std::getenv("QUORVEL_KILL_RUNS");
const int kRuns = kRunsSet ? std::atoi(kRunsSet) : 100;

platform::ChildProcess StartReceiver(const std::string& mailbox, uint16_t port) {
  platform::ChildProcess child = StartHelper(QUORVEL_RECEIVER, {mailbox, "-", std::to_string(port)});
  HelperDeadline deadline(child);
  EXPECT_EQ(child.ReadLine(), "open");
  return child;
}

// Killed after a chosen number of commands and a random spin, then run to its end.
TEST(ReceivingProcessTest, AReceiveFromAPopMaildropKilledAnywhereLosesNothing) {
  constexpr uint32_t kItems = 50;
  TempDirectory outside;
  WriteFile(outside / "payload", "payload");
  std::vector<std::string> mails;  // sender ids 1 to kItems, an item in each
  for (uint32_t id = 1; id <= kItems; ++id) {
    const std::string item = outside / ("item" + std::to_string(id) + ".qv6");
    WriteSentItem(item, {}, outside / "payload", id, 0);
    mails.push_back(MailWith({WithKeys(item, {SenderKey(id), std::nullopt})}));
  }
  std::mt19937 random{20261206};
  int killed[2] = {0, 0};  // before the save, after it
  std::atomic<uint32_t> commands = 0;
  PopMailDrop drop(mails, [&](const std::string&) { ++commands; });
  // USER, PASS, STAT, LIST and RETR of each mail, DELE of each, QUIT.
  const uint32_t everyCommand = 3 + 3 * kItems + 1;
  uint32_t conversations = 0;
  for (int run = 0; run < kRuns; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    TempDirectory mailbox;
    drop.Refill(mails);
    commands = 0;
    const uint32_t step = std::uniform_int_distribution<uint32_t>(1, everyCommand)(random);
    {
      platform::ChildProcess receiver = StartReceiver(mailbox.path(), drop.port());
      // Its event lines are read as they come: unread, they fill the pipe
      // (4 KiB under Wine) and the receiver stops in its write.
      std::thread reader([&receiver] {
        while (receiver.ReadLine()) {
        }
      });
      EXPECT_TRUE(WaitUntil([&] { return commands >= step; }, std::chrono::minutes(1))) << step;
      KillAfterSpin(receiver, random, 3000);
      receiver.Wait();
      reader.join();
    }
    drop.WaitForConversations(++conversations);
    const std::vector<std::string> left = drop.Messages();
    const std::multiset<uint32_t> saved = SavedSenderIds(mailbox.path());
    ++killed[saved.empty() ? 0 : 1];
    for (uint32_t id = 1; id <= kItems; ++id) {
      ASSERT_TRUE(std::count(left.begin(), left.end(), mails[id - 1]) != 0 || saved.count(id) != 0)
          << "item " << id << " is lost";
    }
    platform::ChildProcess receiver = StartReceiver(mailbox.path(), drop.port());
    HelperDeadline deadline(receiver);
    std::optional<std::string> line;
    while ((line = receiver.ReadLine()) && *line != "done") {
    }
    deadline.Dismiss();
    EXPECT_EQ(line, "done");
    EXPECT_EQ(receiver.Wait(), 0);
    drop.WaitForConversations(++conversations);
    const std::multiset<uint32_t> after = SavedSenderIds(mailbox.path());
    for (uint32_t id = 1; id <= kItems; ++id) ASSERT_EQ(after.count(id), 1u) << "item " << id;
    EXPECT_EQ(drop.Messages(), std::vector<std::string>{});
  }
  std::printf("killed before the save %d times, after it %d times\n", killed[0], killed[1]);
}

}  // namespace
}  // namespace quorvel::testing
