// The send functions over the MAPI stand-in, which records each delivery:
// one message per recipient, the out and sent directories, and the codes.
#include "mail/SendFunctions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "HostLogTable.h"
#include "ScriptedServer.h"
#include "ScriptedSmtp.h"
#include "StandInLibrary.h"
#include "TempDirectory.h"
#include "frame/ContextTable.h"
#include "mail/MapiMailer.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Threads.h"

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
  EXPECT_FALSE(SendMailFromFile((dir / "missing.mes").c_str()));
  EXPECT_EQ(context->lastError, 0x8005u);
  EXPECT_FALSE(SendMailFromFile(dir.path().c_str()));
  EXPECT_EQ(context->lastError, 0x8005u) << "a directory is no file";
  EXPECT_FALSE(SendMailFromFile(nullptr));
  WriteFile(dir / "unreadable.mes", "#To : x@y.test\r\n");
  {
    platform::FileFaults faults;
    faults.Fail(platform::FileOperation::Open, 1);
    EXPECT_FALSE(SendMailFromFile((dir / "unreadable.mes").c_str()));
  }
  EXPECT_EQ(context->lastError, 0x8006u) << "there, but it cannot be read";

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

}  // namespace
}  // namespace quorvel
