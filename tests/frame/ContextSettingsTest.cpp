// What the setters store, including the partial effects of a failing
// MailsUseSMTP_POP that the exported interface cannot show.
#include "frame/ContextSettings.h"

#include <gtest/gtest.h>

#include "TempDirectory.h"
#include "frame/ErrorCodes.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {
namespace {

using testing::TempDirectory;

TEST(UseSmtpPop, AMissingMimeDirectoryFailsAfterStoringEverythingElse) {
  TempDirectory dir;
  ThreadContext context;
  context.lastError = 99;
  const CodedText sender(1252, WideString(u"P\u00E9l"));
  SmtpPopParameters parameters;
  parameters.popHost = "pop.example.test";
  parameters.popPort = 1110;
  parameters.popUser = "pupil";
  parameters.popPassword = "secret";
  parameters.smtpHost = "smtp.example.test";
  parameters.smtpPort = 2525;
  parameters.senderName = &sender;
  const std::string missing = dir / "missing";
  parameters.mimeDirectory = missing.c_str();
  parameters.flag = 1;

  EXPECT_FALSE(UseSmtpPop(&context, parameters));
  EXPECT_EQ(context.lastError, kErrorNoDirectory);
  EXPECT_EQ(context.protocol, kProtocolSmtpPop);
  EXPECT_EQ(context.popHost, "pop.example.test");
  EXPECT_EQ(context.popPort, 1110);
  EXPECT_EQ(context.popUser, "pupil");
  EXPECT_EQ(context.popPassword, "secret");
  EXPECT_EQ(context.smtpHost, "smtp.example.test");
  EXPECT_EQ(context.smtpPort, 2525);
  EXPECT_EQ(context.senderName, sender);
  EXPECT_EQ(context.mimeDirectory, missing + platform::kPathSeparator);
  EXPECT_EQ(context.mimeFlag, 0) << "the flag comes after the directory check";
  EXPECT_FALSE(platform::IsExistingDirectory(missing)) << "never created here";

  const std::string existing = dir.path();
  parameters.mimeDirectory = existing.c_str();
  UseSmtpPop(&context, parameters);
  EXPECT_EQ(context.mimeFlag, 1);

  parameters.mimeDirectory = nullptr;
  parameters.senderName = nullptr;
  parameters.popHost = nullptr;
  UseSmtpPop(&context, parameters);
  EXPECT_EQ(context.mimeDirectory, existing) << "null keeps the directory";
  EXPECT_EQ(context.senderName, CodedText());
  EXPECT_EQ(context.popHost, "");
}

}  // namespace
}  // namespace quorvel
