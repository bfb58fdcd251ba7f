// A message file that cannot be read is logged at the SMTP client's reading
// site and reported as unread, before anything is sent.
#include <gtest/gtest.h>

#include "FaultSweep.h"
#include "TempDirectory.h"
#include "protocol/SmtpClient.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

TEST(SmtpFileFaults, AnUnreadableMessageFileIsLoggedAndReported) {
  TempDirectory directory;
  WriteFile(directory / "m.eml", "Subject: file\r\n\r\nbody\r\n");
  std::atomic<uint8_t> stop{0};
  std::atomic<uint8_t> suspend{0};
  std::atomic<int32_t> percent{0};
  SmtpClient client(&stop, &suspend, &percent);  // not connected: nothing can leave
  const auto send = [&](const std::string&) {
    client.SendMailFile("a@x", "b@x", directory / "m.eml");
  };
  const auto check = [&](const std::string& failing) {
    if (failing == "nothing") {
      EXPECT_EQ(client.lastErrorId(), kSmtpNotConnected);
    } else {
      EXPECT_TRUE(client.lastErrorId() == kSmtpFileNotOpened ||
                  client.lastErrorId() == kSmtpRecipientRefusedOrFileUnread)
          << failing << ": " << client.lastErrorId();
    }
  };
  EXPECT_EQ(SweepFileFaults(send, check), (std::set<uint32_t>{kLocationSmtpReadFile}));
  EXPECT_EQ(kLocationSmtpReadFile, 535u);
}

}  // namespace
}  // namespace quorvel
