// Contexts, setters, the host's shared classes and log table, and the sending exports without
// a mail server, through libquorvel.so from host threads (with servers: tests/servers/api).
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "OnHostThread.h"
#include "TempDirectory.h"
#include "WaitUntil.h"
#include "quorvel/CodedTextArray.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;
constexpr int32_t kNoDirectory = 32770;

// A call's result and the calling thread's last error code after it.
std::pair<bool, int32_t> Coded(bool result) { return {result, MailsGetLastErrorCode()}; }

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
      MailsSetReceptionDirectory(i % 2 == 0 ? nullptr : "/");  // bad on even threads
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

// Without a context the setters succeed and create nothing; with one, directories are created
// where they can be, and each setter resets the last error.
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
      EXPECT_EQ(Coded(MailsSetReceptionDirectory(bad)), std::pair(false, kNoDirectory));
    }
    for (const auto& set : setters) {
      ASSERT_EQ(Coded(MailsSetReceptionDirectory(nullptr)), std::pair(false, kNoDirectory));
      EXPECT_EQ(Coded(set()).second, 0);
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

// The codes a host sees on a machine without MAPI, Notes or configured mail clients and for
// null arguments; without a context the security setters answer 1.
TEST(SendFunctionsApi, CodesAndFallBacks) {
  TempDirectory out, queue;
  MailData mail;
  mail.AddTo("tutor@example.test");
  std::string host = "h", address = "a", name = "n";
  uint16_t port = 7;
  std::thread([&] {
    EXPECT_FALSE(MailsSendMailFromMailData(&mail)) << "no context";
    EXPECT_FALSE(TessalyGetUserDefaultSMTPParams(&host, &port, &address, &name));
    EXPECT_TRUE(MailsSetSmtpSecurity(7, "u", "p", nullptr));
    EXPECT_TRUE(MailsSetPopSecurity(7, 0));
    EXPECT_TRUE(MailsSetTlsTrust(nullptr, 0));
  }).join();
  OnHostThread([&] {
    ASSERT_TRUE(MailsSetOutDirectory(out.path().c_str()));
    EXPECT_EQ(Coded(MailsSendMailFromMailData(&mail)), std::pair(false, 0x8001)) << "no protocol";
    const std::pair<bool (*)(), int32_t> transports[] = {{MailsUseMAPI, 10}, {MailsUseNOTES, 11}};
    for (const auto& [use, error] : transports) {
      use();
      const std::string mes = queue / "mail.mes";
      WriteFile(mes, "#To : tutor@example.test\r\n");
      EXPECT_EQ(Coded(MailsSendMailFromFile(mes.c_str())), std::pair(false, error));
    }
    EXPECT_EQ(Coded(MailsSendMails(out.path().c_str())), std::pair(true, 11));
    EXPECT_EQ(Coded(MailsSendMailFromMailData(nullptr)), std::pair(false, 32774));
    EXPECT_EQ(Coded(MailsSendMailFromFile(nullptr)), std::pair(false, 32773));
    // No code for a missing list: the last one goes.
    EXPECT_EQ(Coded(MailsGetMails(nullptr)), std::pair(false, 0));
    MailsSendMailFromMailData(nullptr);
    EXPECT_EQ(Coded(MailsReceiveMails(nullptr)), std::pair(false, 0));
    // No registry with mail clients here: every probe fails.
    EXPECT_FALSE(TessalyGetUserDefaultSMTPParams(&host, &port, &address, &name));
    EXPECT_FALSE(TessalyGetUserDefaultSMTPParams(nullptr, nullptr, nullptr, nullptr));
  });
  EXPECT_EQ(host + address + name, "han");
  EXPECT_EQ(port, 7);
}

// A thread (its kernel id as a POSIX host finds it) is reachable while it holds a context.
TEST(CancelBlockingCall, PostsOnlyToThreadsWithAContext) {
  std::thread([] {
    uint32_t id = 0;
    std::ifstream("/proc/thread-self/stat") >> id;
    EXPECT_FALSE(MailsCancelBlockingCall(id)) << "a thread the library never saw";
    MTAddNew(nullptr);
    EXPECT_TRUE(MailsCancelBlockingCall(id));
    EXPECT_TRUE(MailsCancelBlockingCall(id)) << "posting twice is allowed";
    MTRemove();
    EXPECT_FALSE(MailsCancelBlockingCall(id)) << "its context is removed";
  }).join();
  EXPECT_FALSE(MailsCancelBlockingCall(0));
}

TEST(TransportSecurityApi, ModesAboveTwoAreRefusedAndTheLastErrorIsReset) {
  OnHostThread([] {
    const CodedText name;
    const auto failUse = [&] {
      const bool used = MailsUseSMTP_POP("h", 110, "u", "p", "h", 25, &name, "/no/such/dir", 0);
      EXPECT_EQ(Coded(used), std::pair(false, kNoDirectory));
    };
    for (uint32_t mode = 0; mode <= 3; ++mode) {
      SCOPED_TRACE(mode);
      failUse();
      EXPECT_EQ(Coded(MailsSetSmtpSecurity(mode, "u", "p", nullptr)), std::pair(mode <= 2, 0));
      failUse();
      EXPECT_EQ(Coded(MailsSetPopSecurity(mode, 1)), std::pair(mode <= 2, 0));
    }
    failUse();
    EXPECT_EQ(Coded(MailsSetTlsTrust("/etc/school-ca.pem", 1)), std::pair(true, 0));
  });
}

// A host that works without TLS (a receive over a plain connection) maps no libssl/libcrypto.
TEST(OpenSslOnFirstUse, WorkWithoutTlsLeavesLibsslAndLibcryptoUnloaded) {
  TempDirectory reception;
  OnHostThread([&] {
    const CodedText name;
    // Nothing listens on port 1: the plain connection is refused.
    ASSERT_TRUE(MailsUseSMTP_POP("127.0.0.1", 1, "u", "p", "127.0.0.1", 1, &name,
                                 reception.path().c_str(), 0));
    MailsSetReceptionDirectory(reception.path().c_str());
    MailDataList mails;
    EXPECT_FALSE(MailsReceiveMails(&mails));
  });
  std::ifstream maps("/proc/self/maps");
  const std::string mapped((std::istreambuf_iterator<char>(maps)),
                           std::istreambuf_iterator<char>());
  EXPECT_NE(mapped.find("/libquorvel.so"), std::string::npos) << mapped;
  EXPECT_EQ(mapped.find("/libssl.so"), std::string::npos) << mapped;
  EXPECT_EQ(mapped.find("/libcrypto.so"), std::string::npos) << mapped;
}

}  // namespace
