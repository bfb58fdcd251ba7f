// The send exports and mail-data files through libquorvel.so, without a mail
// server: the codes a host sees, the fall-backs of MAPI and Notes on a machine
// without them; a file's attachments are only ever files beside it, a file
// without recipients is never taken as sent, and null arguments answer the
// system's codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "OnHostThread.h"
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

    // Files without recipients, too large or unnamed are never taken as sent.
    MailsUseMAPI();
    MailsSetOutDirectory(nullptr);
    struct File {
      std::string name, text;
      int32_t error;
    };
    const File files[] = {
        {"nobody.mes", "#Subject : draft\r\n", 32774},
        {"big.mes", "#To : tutor@example.test\r\n", 32774},
        // Read whole, it goes to MAPI, which this machine lacks.
        {"cr-only.mes", "#Version : 1\r#To : tutor@example.test\r#Subject : s\r", 10},
    };
    for (const File& file : files) WriteFile(queue / file.name, file.text);
    std::filesystem::resize_file(queue / "big.mes", uint64_t{1} << 30);  // sparse: 1 GiB
    for (const File& file : files) {
      EXPECT_FALSE(MailsSendMailFromFile((queue / file.name).c_str())) << file.name;
      EXPECT_EQ(MailsGetLastErrorCode(), file.error) << file.name;
      EXPECT_TRUE(std::filesystem::exists(queue / file.name)) << file.name << " stays";
    }
    std::filesystem::remove(queue / "cr-only.mes");
    EXPECT_TRUE(MailsSendMails(queue.path().c_str()));
    EXPECT_EQ(MailsGetLastErrorCode(), 32774);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(queue.path()),
                            std::filesystem::directory_iterator()), 2) << "both stay";

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

// Another program's file in the reception directory: a name it lists is only
// ever a file beside it. (What the library writes is the mail-data file's
// own test.)
TEST(MailDataFilesApi, ANamedAttachmentIsOnlyEverAFileBesideIt) {
  TempDirectory reception;
  WriteFile(reception / "other.mes",
            "#To : t@x.test\r\n#Attachments : /etc/passwd,../h.txt,h.txt\r\n");
  OnHostThread([&] {
    ASSERT_TRUE(MailsSetReceptionDirectory(reception.path().c_str()));
    MailDataList list;
    ASSERT_TRUE(MailsGetMails(&list));
    ASSERT_EQ(list.Size(), 1u);
    EXPECT_EQ(list[0].to, StringList{"t@x.test"});
    EXPECT_TRUE(list[0].attachmentNames.empty()) << "none is a file beside it";
  });
}

}  // namespace
