// The send exports through libquorvel.so, without a mail server: the codes a
// host sees, the fall-backs of MAPI and Notes on a machine without them, and
// the system's codes for null arguments. What a mail-data file may name and
// which files are never taken as sent are the mail-data file's and the send
// functions' unit tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;

TEST(SendFunctionsApi, CodesAndFallBacks) {
  std::thread([] {
    TempDirectory out, queue;
    MailData mail;
    mail.AddTo("tutor@example.test");
    EXPECT_FALSE(MailsSendMailFromMailData(&mail)) << "no context: no protocol";
    ASSERT_NE(MTAddNew(nullptr), 0);
    ASSERT_TRUE(MailsSetOutDirectory(out.path().c_str()));
    EXPECT_FALSE(MailsSendMailFromMailData(&mail));
    EXPECT_EQ(MailsGetLastErrorCode(), 0x8001);
    EXPECT_TRUE(std::filesystem::exists(out / "~AT0.mes")) << "stored in the out directory";

    const struct {
      bool (*use)();
      int32_t error;
    } transports[] = {{MailsUseMAPI, 10}, {MailsUseNOTES, 11}};
    for (const auto& transport : transports) {
      transport.use();
      WriteFile(queue / "mail.mes", "#To : tutor@example.test\r\n");
      EXPECT_FALSE(MailsSendMailFromFile((queue / "mail.mes").c_str()));
      EXPECT_EQ(MailsGetLastErrorCode(), transport.error);
    }
    EXPECT_TRUE(std::filesystem::exists(out / "~AT2.mes")) << "each stored under a new name";
    EXPECT_FALSE(std::filesystem::exists(queue / "mail.mes"));
    EXPECT_FALSE(MailsSendMailFromFile((queue / "mail.mes").c_str()));
    EXPECT_EQ(MailsGetLastErrorCode(), 0x8005);
    EXPECT_TRUE(MailsSendMails(out.path().c_str()));
    EXPECT_EQ(MailsGetLastErrorCode(), 11);
    EXPECT_TRUE(std::filesystem::exists(out / "~AT3.mes")) << "the first stored again";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()),
                            std::filesystem::directory_iterator()),
              3) << "each mail once, under new names";

    EXPECT_FALSE(MailsSendMailFromMailData(nullptr));
    EXPECT_EQ(MailsGetLastErrorCode(), 32774);
    EXPECT_FALSE(MailsSendMailFromFile(nullptr));
    EXPECT_EQ(MailsGetLastErrorCode(), 32773);
    EXPECT_FALSE(MailsGetMails(nullptr));
    EXPECT_EQ(MailsGetLastErrorCode(), 0) << "no code for a missing list; the last one goes";
    MailsSendMailFromMailData(nullptr);
    EXPECT_FALSE(MailsReceiveMails(nullptr));
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
    MTRemove();
  }).join();
}

}  // namespace
