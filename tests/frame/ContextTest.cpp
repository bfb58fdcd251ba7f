// Contexts shared by several thread identifiers, a worker on its starter's
// context, what the setters store, the error messages, and the export guard
// (a file failure that reaches an export: its neutral value, logged).
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <mutex>

#include "ByteCases.h"
#include "FaultSweep.h"
#include "frame/ContextSettings.h"
#include "frame/ContextTable.h"
#include "frame/ErrorCodes.h"
#include "frame/ExportGuard.h"
#include "frame/WorkerContext.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Threads.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// A joined worker keeps the context alive until it leaves; joining under the owner's identifier,
// or twice under one, counts once. Identifier 1 then is a thread that ended without removing
// its context, taken again by a worker; DestroyAll frees a context entered twice once.
TEST(ContextTable, AContextLivesUntilItsLastIdentifierLeaves) {
  ContextTable table;
  const int before = ThreadContext::LiveCount();
  table.AddNew(1, nullptr);
  ThreadContext* context = table.Find(1);
  for (const uint32_t joining : {1u, 2u, 2u}) table.Join(context, joining);
  ASSERT_EQ(ThreadContext::LiveCount(), before + 1) << "the owner's join freed nothing";
  EXPECT_EQ(context->referenceCount, 2u);
  EXPECT_EQ(table.Remove(1), 1) << "the host leaves first";
  EXPECT_EQ(ThreadContext::LiveCount(), before + 1);
  EXPECT_EQ(table.Find(2), context);
  EXPECT_EQ(table.Remove(2), 0) << "the worker's leaving destroys it";
  EXPECT_EQ(ThreadContext::LiveCount(), before);
  table.AddNew(1, nullptr);
  table.AddNew(2, nullptr);
  table.Join(table.Find(2), 1);
  EXPECT_EQ(ThreadContext::LiveCount(), before + 1);
  EXPECT_EQ(table.Find(2)->referenceCount, 2u);
  table.AddNew(3, nullptr);
  table.DestroyAll();
  EXPECT_EQ(ThreadContext::LiveCount(), before);
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.Find(2), nullptr);
}

// A worker runs on its starter's context, sees its settings, and keeps the
// context alive until it leaves, even after the host removed it.
TEST(WorkerContext, TheLastToLeaveDestroysTheContext) {
  platform::HostMutex host;
  const uint32_t self = platform::CurrentThreadId();
  const int before = ThreadContext::LiveCount();
  ASSERT_TRUE(Contexts().AddNew(self, host.handle()));
  ThreadContext& context = *Contexts().Find(self);
  context.smtpHost = "mail.example.test";
  std::promise<void> mayEnd;
  std::shared_future<void> ending = mayEnd.get_future().share();
  std::string seen;
  ASSERT_TRUE(StartWorker(context, nullptr, 0, [&](ThreadContext&) {
    seen = CallingContext()->smtpHost;
    ending.wait();
    return 1u;
  }));
  std::shared_ptr<platform::Thread> worker;
  {
    std::lock_guard hold(WorkerFieldsLock());
    worker = context.workerThread;
  }
  ASSERT_TRUE(worker);
  EXPECT_EQ(context.referenceCount, 2u) << "entered by its starter before it runs";
  Contexts().Remove(self);  // the host ends its use first
  EXPECT_EQ(ThreadContext::LiveCount(), before + 1);
  mayEnd.set_value();
  ASSERT_TRUE(worker->Wait(60000));
  EXPECT_EQ(worker->ExitCode(), 1u);
  EXPECT_EQ(seen, "mail.example.test");
  EXPECT_EQ(ThreadContext::LiveCount(), before);
  EXPECT_EQ(Contexts().Find(worker->Id()), nullptr);
}

// The partial effects of a failing MailsUseSMTP_POP, which the exports cannot show.
TEST(UseSmtpPop, AMissingMimeDirectoryFailsAfterStoringEverythingElse) {
  TempDirectory dir;
  ThreadContext context;
  context.lastError = 99;
  const CodedText sender(1252, WideString(u"P\u00E9l"));
  const std::string missing = dir / "missing", existing = dir.path();
  SmtpPopParameters parameters{"pop.example.test", 1110, "pupil", "secret",
                               "smtp.example.test", 2525, &sender, missing.c_str(), 1};
  const auto stored = [&context] {
    return std::tie(context.protocol, context.popHost, context.popPort, context.popUser,
                    context.popPassword, context.smtpHost, context.smtpPort, context.senderName,
                    context.mimeDirectory, context.mimeFlag);
  };
  EXPECT_FALSE(UseSmtpPop(&context, parameters));
  EXPECT_EQ(context.lastError, kErrorNoDirectory);
  // The flag comes after the directory check.
  EXPECT_EQ(stored(), std::make_tuple(kProtocolSmtpPop, "pop.example.test", 1110, "pupil",
                                      "secret", "smtp.example.test", 2525, sender,
                                      missing + platform::kPathSeparator, 0));
  EXPECT_FALSE(platform::IsExistingDirectory(missing)) << "never created here";
  parameters.mimeDirectory = existing.c_str();
  UseSmtpPop(&context, parameters);
  EXPECT_EQ(context.mimeFlag, 1);
  parameters.mimeDirectory = parameters.popHost = nullptr;
  parameters.senderName = nullptr;
  UseSmtpPop(&context, parameters);
  EXPECT_EQ(std::tie(context.mimeDirectory, context.senderName, context.popHost),
            std::make_tuple(existing, CodedText(), "")) << "null keeps the directory";
}

// Each code of tests/data/error-messages/messages.txt has its message; the calling thread's is
// that of its last error.
TEST(ErrorMessages, FixedTextsAndTheCallingThreadsLastError) {
  const std::vector<std::vector<std::string>> rows = CaseTable("error-messages/messages.txt");
  for (const std::vector<std::string>& row : rows) {
    EXPECT_EQ(ErrorMessage(static_cast<uint32_t>(std::stoul(row[0]))), ParseBytes(row[1]))
        << row[0];
  }
  EXPECT_EQ(rows.size(), 24u);
  EXPECT_EQ(ErrorMessageFor(), "") << "no context";
  const uint32_t self = platform::CurrentThreadId();
  ASSERT_TRUE(Contexts().AddNew(self, nullptr));
  Contexts().Find(self)->lastError = kErrorSendingFile;
  EXPECT_EQ(ErrorMessageFor(), "Sending file not possible");
  Contexts().Remove(self);
}

TEST(ExportGuard, AFileFailureBecomesTheNeutralValueAndIsLogged) {
  TempDirectory directory;
  int answer = -1;
  const auto exported = [&](const std::string&) {
    answer = Guarded(7, [&] {
      platform::File::Open(directory / "f", platform::FileAccess::Write,
                           platform::FileShare::DenyNone, platform::FileDisposition::CreateAlways);
      return 1;
    });
  };
  const auto check = [&](const std::string& failing) {
    EXPECT_EQ(answer, failing == "nothing" ? 1 : 7) << failing;
  };
  EXPECT_EQ(SweepFileFaults(exported, check), (std::set<uint32_t>{kLocationExportBoundary}));
}

}  // namespace
}  // namespace quorvel
