// Every file failure while a message is composed is logged at the section
// it broke (header, text, attachments), then at the composition, and leaves
// no message file behind.
#include <gtest/gtest.h>

#include "FaultSweep.h"
#include "TempDirectory.h"
#include "protocol/SmtpSettings.h"
#include "mail/DefaultSmtpSettings.h"
#include "message/MailMessage.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

TEST(ComposeFileFaults, EveryFailureIsLoggedAtItsSectionAndLeavesNoFile) {
  ReplaceDefaultSmtpSettings(DefaultSmtpSettingsState());
  SetDefaultSmtpSettings("127.0.0.1", "ada@example.test", 25, "ada.lovelace@example.test");
  TempDirectory directory;
  WriteFile(directory / "attachment.bin", std::string(100000, 'a'));
  std::atomic<uint8_t> stop{0};
  std::atomic<uint8_t> suspend{0};
  std::atomic<int32_t> percent{0};
  std::string composed;
  std::string body;
  for (int i = 0; i < 1000; ++i) body += std::string(70, 'b') + "\r\n";
  // Each section is longer than the composer's 64 KiB write block, so that
  // each one writes to the disk itself.
  const auto compose = [&](const std::string&) {
    MailMessage message(&stop, &suspend, &percent);
    message.SetRecipient("tutor@example.test");
    message.SetSubject(std::string(70000, 's'));
    message.SetBody(body);
    message.AddAttachment((directory / "attachment.bin").c_str(), nullptr, false);
    composed = message.ComposeToFile(directory.path().c_str());
  };
  // An attachment that cannot be read is left out of the message, which is
  // not an error; a message that is composed is never a part.
  size_t wholeSize = 0;
  const auto check = [&](const std::string& failing) {
    if (failing == "nothing") wholeSize = ReadFile(composed).size();
    if (!composed.empty()) {
      const std::string text = ReadFile(composed);
      if (text.find("Content-Transfer-Encoding: base64") != std::string::npos) {
        EXPECT_EQ(text.size(), wholeSize) << failing;
      } else {
        const std::string end = body + "\r\n";
        EXPECT_EQ(text.substr(text.size() - end.size()), end) << failing << ": left out whole";
      }
    }
    platform::RemoveFile(composed);
    for (const auto& entry : platform::ListDirectory(directory.path(), "*.eml")) {
      ADD_FAILURE() << failing << ": " << entry.name << " left behind";
      platform::RemoveFile(directory / entry.name);
    }
  };
  // Line write, header, text, attachments, composition.
  EXPECT_EQ(SweepFileFaults(compose, check), (std::set<uint32_t>{516, 517, 518, 519, 520}));
  ReplaceDefaultSmtpSettings(DefaultSmtpSettingsState());
}

}  // namespace
}  // namespace quorvel
