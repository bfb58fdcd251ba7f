// ReceiveByPop against a scripted POP server: a message whose mail-data file
// cannot be written stays on the server (no DELE), and the call succeeds.
#include "mime/ReceiveFunctions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "ScriptedServer.h"
#include "TempDirectory.h"
#include "mime/PopSettings.h"
#include "platform/Faults.h"

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
  side.Send("+OK\r\nSubject: kept\r\n\r\nbody\r\n.\r\n");
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
    if (!diskFull) {
      EXPECT_EQ(list[0].codePage, 65001) << "its texts are the library's UTF-8";
    }
    EXPECT_EQ(std::filesystem::is_empty(reception.path()), diskFull);
  }
}

}  // namespace
}  // namespace quorvel
