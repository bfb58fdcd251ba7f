// A mailbox against another process: the held index keeps a second process
// out.
#include <gtest/gtest.h>

#include <filesystem>

#include "MailboxFixture.h"
#include "frame/ContextTable.h"
#include "mailbox/MailboxContext.h"
#include "platform/ChildProcess.h"
#include "platform/Threads.h"

namespace quorvel::testing {
namespace {

platform::ChildProcess Start(const char* program, const std::vector<std::string>& arguments) {
  std::optional<platform::ChildProcess> child = platform::ChildProcess::Start(program, arguments);
  if (!child) throw std::runtime_error(std::string("cannot start ") + program);
  return std::move(*child);
}

class ContextHolder {
 public:
  ContextHolder() { Contexts().AddNew(platform::CurrentThreadId(), nullptr); }
  ContextHolder(const ContextHolder&) = delete;
  ContextHolder& operator=(const ContextHolder&) = delete;
  ~ContextHolder() { Contexts().Remove(platform::CurrentThreadId()); }
  ThreadContext& operator*() const { return *CallingContext(); }
};

TEST(MailboxProcessTest, TheHeldIndexKeepsASecondProcessOut) {
  TempDirectory base;
  const std::string index = base / "anna/mailbox/Mailbox.inv";
  {
    ContextHolder context;
    ASSERT_TRUE(OpenContextMailbox(base.path().c_str(), "anna"));
    platform::ChildProcess refused = Start(QUORVEL_MAILBOX_HOLDER, {base.path(), "anna"});
    EXPECT_EQ(refused.ReadLine(), "refused");
    refused.CloseInput();
    EXPECT_EQ(refused.Wait(), 1);

    ASSERT_TRUE(OpenContextMailbox(base.path().c_str(), "ben"));  // lets anna's go
    platform::ChildProcess holder = Start(QUORVEL_MAILBOX_HOLDER, {base.path(), "anna"});
    EXPECT_EQ(holder.ReadLine(), "open");
    EXPECT_FALSE(OpenContextMailbox(base.path().c_str(), "anna"));
    EXPECT_EQ((*context).mailbox, nullptr);  // ben's was closed first
    EXPECT_EQ((*context).mailboxItems, nullptr);
    holder.CloseInput();
    EXPECT_EQ(holder.Wait(), 0);
    ASSERT_TRUE(OpenContextMailbox(base.path().c_str(), "anna"));
    EXPECT_EQ((*context).mailboxDirectory, base / "anna/mailbox/");
    EXPECT_EQ((*context).baseDirectory, base.path());
  }
  platform::ChildProcess after = Start(QUORVEL_MAILBOX_HOLDER, {base.path(), "anna"});
  EXPECT_EQ(after.ReadLine(), "open");  // the context's end let it go
  EXPECT_EQ(ReadFile(index).size(), 23u);
}

}  // namespace
}  // namespace quorvel::testing
