// The send exports through libquorvel.so against the real Postfix of the
// test run: what arrives, and where the mail-data files end.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "MailServers.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;

std::string Token() {
  std::random_device seed;
  return "token-" + std::to_string(seed()) + std::to_string(seed());
}

std::vector<std::string> Names(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Every stored message of `user` that contains `marker`, once `count` have
// arrived (polled every 10 ms for at most 10 s; delivery is asynchronous).
std::vector<std::string> Messages(const MailServers& servers, const std::string& user,
                                  const std::string& marker, size_t count) {
  std::vector<std::string> found;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (found.size() < count && std::chrono::steady_clock::now() < deadline) {
    found.clear();
    for (const char* folder : {"new", "cur"}) {
      std::error_code error;
      for (const auto& entry : std::filesystem::directory_iterator(
               servers.maildirRoot + "/" + user + "/" + folder, error)) {
        const std::string content = ReadFile(entry.path().string());
        if (content.find(marker) != std::string::npos) found.push_back(content);
      }
    }
    if (found.size() < count) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return found;
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
  const std::string token = Token();
  WriteFile(queue / "lesson.mes", Mes(servers.Address("pupil") + "," + servers.Address("tutor") +
                                          "," + servers.Address("pupil"),
                                      servers.Address("tutor"), token));
  WriteFile(queue / "lesson_1.att", "my work");
  OnHostThread([&] {
    EXPECT_TRUE(MailsSendMailFromFile((queue / "lesson.mes").c_str()));
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
  });
  // pupil: the first message and the third; tutor: the first's copy and the second.
  const auto pupil = Messages(servers, "pupil", token, 2);
  const auto tutor = Messages(servers, "tutor", token, 2);
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

TEST_F(SendFunctionsServer, ADirectoryWhoseFirstMailFails) {
  const std::string failing = Token(), passing = Token();
  // The mails go in the order the file system lists them: the failing one
  // is whichever comes first.
  WriteFile(queue / "a.mes", "");
  WriteFile(queue / "b.mes", "");
  const std::string first =
      std::filesystem::directory_iterator(queue.path())->path().stem().string();
  const std::string second = first == "a" ? "b" : "a";
  WriteFile(queue / (first + ".mes"), Mes(servers.Address("nobody"), "", failing));
  WriteFile(queue / (first + "_1.att"), "lost");
  WriteFile(queue / (second + ".mes"), Mes(servers.Address("tutor"), "", passing));
  WriteFile(queue / (second + "_1.att"), "kept");
  OnHostThread([&] {
    EXPECT_TRUE(MailsSendMails(queue.path().c_str()));
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
  });
  ASSERT_EQ(Messages(servers, "tutor", passing, 1).size(), 1u);
  EXPECT_TRUE(Names(queue.path()).empty());
  const auto outNames = Names(out.path()), sentNames = Names(sent.path());
  ASSERT_EQ(outNames, std::vector<std::string>({"~AT0.mes", "~AT0_1.att"}));
  ASSERT_EQ(sentNames, std::vector<std::string>({"~AT0.mes", "~AT0_1.att"}));
  EXPECT_NE(ReadFile(out / "~AT0.mes").find(failing), std::string::npos);
  EXPECT_EQ(ReadFile(out / "~AT0_1.att"), "lost");
  EXPECT_NE(ReadFile(sent / "~AT0.mes").find(passing), std::string::npos);

  // A later run over the out directory still fails and keeps it there.
  OnHostThread([&] {
    EXPECT_TRUE(MailsSendMails(out.path().c_str()));
    EXPECT_EQ(MailsGetLastErrorCode(), 7);
  });
  EXPECT_EQ(Names(out.path()), std::vector<std::string>({"~AT1.mes", "~AT1_1.att"}));
}

}  // namespace
