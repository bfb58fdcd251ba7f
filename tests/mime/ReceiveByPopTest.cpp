// ReceiveByPop against a scripted POP server: a message whose mail-data file
// cannot be written stays on the server (no DELE), and the call succeeds;
// the parts read from a message never stay behind. Receiving refuses a
// missing reception directory before anything else.
#include "mime/ReceiveFunctions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "../exchange/ItemTest.h"
#include "ScriptedServer.h"
#include "TempDirectory.h"
#include "frame/ContextTable.h"
#include "frame/ErrorCodes.h"
#include "mime/PopSettings.h"
#include "platform/CodePages.h"
#include "platform/Faults.h"
#include "platform/Threads.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

void ServeOneMessage(ServerSide& side) {
  side.Send("+OK ready\r\n");
  for (const char* reply : {"+OK\r\n", "+OK\r\n", "+OK 1 40\r\n", "+OK 1 40\r\n"}) {
    side.ReadLine();
    side.Send(reply);
  }
  side.ReadLine();  // RETR 1
  side.Send("+OK\r\nSubject: kept\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n"
            "body\r\n--b\r\nContent-Type: text/html\r\n\r\n<p>body</p>\r\n"
            "--b\r\nContent-Disposition: attachment; filename=a.txt\r\n\r\npart\r\n"
            ".\r\n");
  side.ReadLine();  // DELE 1 when stored, else QUIT
  if (side.received.find("DELE") != std::string::npos) {
    side.Send("+OK\r\n");
    side.ReadLine();
  }
  side.Send("+OK bye\r\n");
}

TEST(ReceiveByPopTest, AMessageIsDeletedOnlyOnceItsFileIsWritten) {
  for (const bool diskFull : {true, false}) {
    SCOPED_TRACE(diskFull ? "disk full" : "disk free");
    TempDirectory reception;
    TemporaryDirectoryOverride temporary;  // where the parts are read into
    ScriptedServer server(ServeOneMessage);
    SetPopSettings("127.0.0.1", server.port(), "u", "p");
    MailMessage message(nullptr, nullptr, nullptr);
    MailDataList list;
    bool result = false;
    {
      platform::FileFaults faults;
      if (diskFull) faults.FillDiskAfter(0);
      result = ReceiveByPop(message, list, reception.path());
    }
    EXPECT_TRUE(result);
    const std::string& transcript = server.transcript();
    EXPECT_EQ(transcript.find("DELE 1\r\n") != std::string::npos, !diskFull) << transcript;
    EXPECT_EQ(list.Size(), diskFull ? 0u : 1u);
    if (list.Size() == 1) {
      EXPECT_EQ(list[0].bodyType, MailData::kBodyHtml);
      EXPECT_EQ(list[0].bodyIndex, 0) << "the HTML part, not the attached file";
      EXPECT_EQ(list[0].codePage, static_cast<int32_t>(platform::AnsiCodePage()))
          << "its texts are in the library's code page";
    }
    EXPECT_EQ(std::filesystem::is_empty(reception.path()), diskFull);
    EXPECT_EQ(temporary.Files(), std::vector<std::string>{}) << "no part file is left";
  }
}

TEST(ReceiveMailsTest, AMissingReceptionDirectoryIsRefusedFirstAndFailuresKeepTheirError) {
  TempDirectory base;
  ASSERT_TRUE(Contexts().AddNew(platform::CurrentThreadId(), nullptr));
  ThreadContext* context = CallingContext();
  context->protocol = kProtocolMapi;  // which would answer true at once
  context->popHost = "pop.example.test";
  context->receptionDirectory = base / "missing/";
  MailDataList list;
  EXPECT_FALSE(ReceiveMails(list));
  EXPECT_EQ(context->lastError, kErrorNoDirectory);
  context->protocol = kProtocolSmtpPop;
  context->popHost = "127.0.0.1";
  context->popPort = ClosedLoopbackPort();
  context->receptionDirectory = base.path();
  EXPECT_FALSE(ReceiveMails(list));
  EXPECT_EQ(context->lastError, kErrorPopConnect) << "the receive's own error is kept";
  Contexts().Remove(platform::CurrentThreadId());
}

}  // namespace
}  // namespace quorvel
