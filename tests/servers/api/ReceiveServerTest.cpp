// A real round trip through libquorvel.so: a mail with attachments sent
// through the test run's Postfix to "receiver", fetched back from its
// Dovecot with MailsReceiveMails and compared field by field and byte by
// byte. "receiver" is this test's own mailbox, so draining it touches no
// other test's mail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "RandomBytes.h"
#include "ServerHost.h"

namespace {

using namespace quorvel::testing;

class ReceiveServer : public ServerHost {
 protected:
  void OnReceiverThread(const std::function<void()>& body) {
    OnHostThread("127.0.0.1", servers.smtpPort, servers.popPort, "receiver", "receiver", body);
  }
};

TEST_F(ReceiveServer, WhatWasSentComesBackWholeAndLeavesTheServer) {
  const std::string token = MailServers::Token();
  const std::string big = RandomBytes(5 * 1024 * 1024, 12345);
  WriteFile(files / "empty.bin", "");
  WriteFile(files / "Übung é.txt", "accents àé\r\n.line with a dot\r\n");
  WriteFile(files / "big.bin", big);
  MailData mail;
  mail.codePage = 65001;  // the texts of a POSIX host
  mail.from = servers.Address("pupil");
  mail.AddTo(servers.Address("receiver"));
  mail.SetSubject(token);
  mail.SetMessage("line one\r\n.hidden\r\nline three");
  mail.attachmentNames = {files / "empty.bin", files / "Übung é.txt", files / "big.bin"};
  mail.attachmentFiles = {"", "", ""};
  OnReceiverThread([&] {
    ASSERT_TRUE(MailsSendMailFromMailData(&mail)) << MailsGetLastErrorCode();
  });
  ASSERT_TRUE(servers.WaitForMessage("receiver", token));

  MailDataList received, again, loaded;
  OnReceiverThread([&] {
    ASSERT_TRUE(MailsReceiveMails(&received));
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
    ASSERT_TRUE(MailsReceiveMails(&again));
    ASSERT_TRUE(MailsGetMails(&loaded));
    MailsForbidConnection();
    EXPECT_FALSE(MailsReceiveMails(&again));
    EXPECT_EQ(MailsGetLastErrorCode(), 6);
    MailsAuthorizeConnection();
  });
  ASSERT_EQ(received.Size(), 1u);
  EXPECT_EQ(again.Size(), 0u) << "deleted on the server";
  ASSERT_EQ(loaded.Size(), 1u);
  for (const MailData* record : {&received[0], &loaded[0]}) {
    EXPECT_EQ(record->from, servers.Address("pupil"));
    EXPECT_EQ(record->to, StringList{servers.Address("receiver")});
    EXPECT_EQ(record->subject, token);
    EXPECT_EQ(record->message, "line one\r\n.hidden\r\nline three");
    EXPECT_EQ(record->codePage, 65001);
    ASSERT_EQ(record->attachmentNames, (StringList{"empty.bin", "Übung é.txt", "big.bin"}));
    ASSERT_EQ(record->attachmentFiles.size(), 3u);
    EXPECT_EQ(ReadFile(record->attachmentFiles[0]), "");
    EXPECT_EQ(ReadFile(record->attachmentFiles[1]), "accents àé\r\n.line with a dot\r\n");
    EXPECT_TRUE(ReadFile(record->attachmentFiles[2]) == big) << "5 MB attachment differs";
  }
}

TEST_F(ReceiveServer, AnUnwritableReceptionDirectoryLeavesTheMessageOnTheServer) {
  // Skipped before anything is sent: a message left behind would reach the
  // other test of this mailbox.
  std::filesystem::permissions(reception.path(), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec);
  if (std::ofstream(reception / "probe")) {
    std::filesystem::permissions(reception.path(), std::filesystem::perms::owner_all);
    GTEST_SKIP() << "the permissions do not bind this user (root)";
  }
  const std::string token = MailServers::Token();
  MailData mail;
  mail.codePage = 65001;  // the texts of a POSIX host
  mail.from = servers.Address("pupil");
  mail.AddTo(servers.Address("receiver"));
  mail.SetSubject(token);
  mail.SetMessage("kept");
  OnReceiverThread([&] { ASSERT_TRUE(MailsSendMailFromMailData(&mail)); });
  ASSERT_TRUE(servers.WaitForMessage("receiver", token));
  MailDataList none, later;
  OnReceiverThread([&] {
    EXPECT_TRUE(MailsReceiveMails(&none));
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
  });
  std::filesystem::permissions(reception.path(), std::filesystem::perms::owner_all);
  EXPECT_EQ(none.Size(), 0u);
  EXPECT_TRUE(std::filesystem::is_empty(reception.path()));
  OnReceiverThread([&] { EXPECT_TRUE(MailsReceiveMails(&later)); });
  ASSERT_EQ(later.Size(), 1u) << "still on the server";
  EXPECT_EQ(later[0].subject, token);
}

}  // namespace
