// The send exports and mail-data files through libquorvel.so, without a mail
// server: the codes a host sees, the fall-backs of MAPI and Notes on a machine
// without them; a record's values never add a line to its file, its
// attachments are only ever files beside it, a file without recipients is
// never taken as sent, and null arguments answer the system's codes.
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

TEST(MailDataFilesApi, ARecordsValuesAndNamesCannotReachOtherFiles) {
  TempDirectory work, reception;
  WriteFile(work / "h.txt", "H");
  OnHostThread([&] {
    MailsUseMAPI();  // no MAPI here: every send fails and files the mail
    ASSERT_TRUE(MailsSetOutDirectory(reception.path().c_str()));
    ASSERT_TRUE(MailsSetReceptionDirectory(reception.path().c_str()));
    MailData mail;
    mail.AddTo("tutor@example.test");
    mail.SetSubject("homework\r\n#Attachments : /etc/passwd");
    mail.attachmentNames = {"homework.txt,secret.txt"};
    mail.attachmentFiles = {work / "h.txt"};
    EXPECT_FALSE(MailsSendMailFromMailData(&mail));
    // Another program's file in the reception directory.
    WriteFile(reception / "other.mes",
              "#To : t@x.test\r\n#Attachments : /etc/passwd,../h.txt,h.txt\r\n");
    MailDataList list;
    ASSERT_TRUE(MailsGetMails(&list));
    ASSERT_EQ(list.Size(), 2u);
    for (uint32_t i = 0; i < list.Size(); ++i) {
      const MailData& read = list[i];
      if (read.filePath == reception / "other.mes") {
        EXPECT_TRUE(read.attachmentNames.empty()) << "none is a file beside it";
        continue;
      }
      EXPECT_EQ(read.subject, "homework  #Attachments : /etc/passwd");
      EXPECT_EQ(read.attachmentNames, StringList({"homework.txt_secret.txt"}));
      ASSERT_EQ(read.attachmentFiles.size(), 1u);
      EXPECT_EQ(ReadFile(read.attachmentFiles[0]), "H");
    }
  });
}

}  // namespace
