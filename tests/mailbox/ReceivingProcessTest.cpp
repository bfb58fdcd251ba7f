// A receive from a POP maildrop of 50 mails, killed after a chosen number of
// commands and a random spin, leaves every item at its source or in the saved
// index; the next receive brings every item in, each once. (A shared
// directory's steps are ReceivingTest's.)
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>

#include "Killing.h"
#include "PopMailDrop.h"
#include "ReceivedItems.h"

namespace quorvel::testing {
namespace {

constexpr uint32_t kItems = 50;
// Runs of each test: 100, or QUORVEL_KILL_RUNS (a process start costs far
// more under Wine).
const int kRuns = [] {
  const char* runs = std::getenv("QUORVEL_KILL_RUNS");
  return runs != nullptr && std::atoi(runs) > 0 ? std::atoi(runs) : 100;
}();

platform::ChildProcess StartReceiver(const std::string& mailbox, uint16_t port) {
  platform::ChildProcess child = StartHelper(QUORVEL_RECEIVER, {mailbox, "-", std::to_string(port)});
  HelperDeadline deadline(child);
  EXPECT_EQ(child.ReadLine(), "open");
  deadline.Dismiss();
  return child;
}

// Lets a receiver run to its end, within the deadline.
void ReceiveToTheEnd(const std::string& mailbox, uint16_t port) {
  platform::ChildProcess receiver = StartReceiver(mailbox, port);
  HelperDeadline deadline(receiver);
  std::optional<std::string> line;
  while ((line = receiver.ReadLine()) && *line != "done") {
  }
  deadline.Dismiss();
  EXPECT_EQ(line, "done");
  EXPECT_EQ(receiver.Wait(), 0);
}

TEST(ReceivingProcessTest, AReceiveFromAPopMaildropKilledAnywhereLosesNothing) {
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
  std::mutex mutex;
  std::condition_variable commanded;
  uint32_t commands = 0;
  PopMailDrop drop(mails, [&](const std::string&) {
    std::lock_guard<std::mutex> lock(mutex);
    ++commands;
    commanded.notify_all();
  });
  // USER, PASS, STAT, LIST and RETR of each mail, DELE of each, QUIT.
  const uint32_t everyCommand = 3 + 3 * kItems + 1;
  uint32_t conversations = 0;
  for (int run = 0; run < kRuns; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    TempDirectory mailbox;
    drop.Refill(mails);
    {
      std::unique_lock<std::mutex> lock(mutex);
      commands = 0;
      const uint32_t step = std::uniform_int_distribution<uint32_t>(1, everyCommand)(random);
      lock.unlock();
      platform::ChildProcess receiver = StartReceiver(mailbox.path(), drop.port());
      // Its event lines are read as they come: unread, they fill the pipe
      // (4 KiB under Wine) and the receiver stops in its write.
      std::thread reader([&receiver] {
        while (receiver.ReadLine()) {
        }
      });
      lock.lock();
      EXPECT_TRUE(commanded.wait_for(lock, std::chrono::minutes(1), [&] { return commands >= step; }))
          << "command " << step;
      lock.unlock();
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
    ReceiveToTheEnd(mailbox.path(), drop.port());
    drop.WaitForConversations(++conversations);
    const std::multiset<uint32_t> after = SavedSenderIds(mailbox.path());
    for (uint32_t id = 1; id <= kItems; ++id) ASSERT_EQ(after.count(id), 1u) << "item " << id;
    EXPECT_EQ(drop.Messages(), std::vector<std::string>{});
  }
  std::printf("killed before the save %d times, after it %d times\n", killed[0], killed[1]);
}

}  // namespace
}  // namespace quorvel::testing
