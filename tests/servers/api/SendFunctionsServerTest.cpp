// The send exports through libquorvel.so against the real Postfix of the
// test run: what arrives, and where the mail-data file ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "MailServers.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;

std::vector<std::string> Names(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

size_t CountCopyLines(const std::vector<std::string>& messages) {
  size_t count = 0;
  for (const std::string& message : messages) count += message.find("\nCc: ") != std::string::npos;
  return count;
}

class SendFunctionsServer : public ::testing::Test {
 protected:
  void SetUp() override {
    auto found = MailServers::FromEnvironment();
    if (!found) GTEST_SKIP() << "no mail servers in this run (QUORVEL_SERVERS_STATE)";
    servers = *found;
  }
  // Runs `body` on a thread with a context set up for SMTP to Postfix.
  template <typename Body>
  void OnHostThread(Body body) {
    std::thread([&] {
      ASSERT_NE(MTAddNew(nullptr), 0);
      const CodedText name(1252, WideString(u"Pupil P"));
      ASSERT_TRUE(MailsUseSMTP_POP("127.0.0.1", servers.popPort, "pupil", "pupil", "127.0.0.1",
                                   servers.smtpPort, &name, compose.path().c_str(), 0));
      ASSERT_TRUE(MailsSetOutDirectory(out.path().c_str()));
      ASSERT_TRUE(MailsSetSentDirectory(sent.path().c_str()));
      body();
      MTRemove();
    }).join();
  }
  std::string Mes(const std::string& to, const std::string& copy, const std::string& token) {
    return "#Version : \r\n#CodePage : 1252\r\n#SenderName : \r\n#From : " +
           servers.Address("pupil") + "\r\n#To : " + to + "\r\n#Copy : " + copy +
           "\r\n#Subject : " + token + "\r\n#Message : line one\r\nline two\r\n"
           "#BodyType : Text\r\n#Attachments : work.txt\r\n";
  }

  MailServers servers;
  TempDirectory queue, out, sent, compose;
};

TEST_F(SendFunctionsServer, ThreeRecipientsThreeMessagesOnlyTheFirstWithTheCopy) {
  const std::string token = MailServers::Token();
  WriteFile(queue / "lesson.mes", Mes(servers.Address("pupil") + "," + servers.Address("tutor") +
                                          "," + servers.Address("pupil"),
                                      servers.Address("tutor"), token));
  WriteFile(queue / "lesson_1.att", "my work");
  OnHostThread([&] {
    EXPECT_TRUE(MailsSendMailFromFile((queue / "lesson.mes").c_str()));
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
  });
  // pupil: the first message and the third; tutor: the first's copy and the second.
  const auto pupil = servers.WaitForMessages("pupil", token, 2);
  const auto tutor = servers.WaitForMessages("tutor", token, 2);
  ASSERT_EQ(pupil.size(), 2u);
  ASSERT_EQ(tutor.size(), 2u);
  EXPECT_EQ(CountCopyLines(pupil), 1u);
  EXPECT_EQ(CountCopyLines(tutor), 1u);
  for (const auto& message : pupil) {
    EXPECT_NE(message.find("line one\nline two"), std::string::npos);
    EXPECT_NE(message.find("work.txt"), std::string::npos);
    EXPECT_NE(message.find("bXkgd29yaw=="), std::string::npos) << "the attachment, base64";
  }
  EXPECT_TRUE(Names(queue.path()).empty()) << "moved to the sent directory";
  EXPECT_EQ(Names(sent.path()), std::vector<std::string>({"~AT0.mes", "~AT0_1.att"}));
  EXPECT_EQ(ReadFile(sent / "~AT0_1.att"), "my work");
}

}  // namespace
