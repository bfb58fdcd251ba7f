// The fixed messages of the error codes.
#include "frame/ErrorCodes.h"

#include <gtest/gtest.h>

#include "frame/ContextTable.h"
#include "platform/Threads.h"

namespace quorvel {
namespace {

TEST(ErrorMessages, FixedTexts) {
  EXPECT_STREQ(ErrorMessage(0), "");
  EXPECT_STREQ(ErrorMessage(1), "Problem with file");
  EXPECT_STREQ(ErrorMessage(2), "Memory allocation error");
  EXPECT_STREQ(ErrorMessage(3), "No SMTP Parameters");
  EXPECT_STREQ(ErrorMessage(5), "Can not connect to SMTP server");
  EXPECT_STREQ(ErrorMessage(6), "Can not connect to POP server");
  EXPECT_STREQ(ErrorMessage(7), "Sending file not possible");
  EXPECT_STREQ(ErrorMessage(8), "MIME cr\xE9" "ation failed") << "one byte E9, as in code page 1252";
  EXPECT_STREQ(ErrorMessage(9), "Can not send by MAPI");
  EXPECT_STREQ(ErrorMessage(10), "Can not initialize MAPI");
  EXPECT_STREQ(ErrorMessage(11), "Can not send by NOTES");
  EXPECT_STREQ(ErrorMessage(12), "Can not get message numbers");
  EXPECT_STREQ(ErrorMessage(32769), "No protocol chosen");
  EXPECT_STREQ(ErrorMessage(32770), "No Directory existing");
  EXPECT_STREQ(ErrorMessage(32771), "Error during Initialisation");
  EXPECT_STREQ(ErrorMessage(32772), "Error during Sending");
  EXPECT_STREQ(ErrorMessage(32773), "No file found");
  EXPECT_STREQ(ErrorMessage(32774), "Cant read .mes file");
}

TEST(ErrorMessages, CodesWithoutAMessageOfTheirOwn) {
  for (const uint32_t code : {4u, 13u, 14u, 32768u, 32775u, 0xFFFFFFFFu}) {
    EXPECT_STREQ(ErrorMessage(code), "Unknown dllErrorCode") << code;
  }
}

TEST(ErrorMessageFor, FollowsTheCallingThreadsLastError) {
  EXPECT_EQ(ErrorMessageFor(), "") << "no context";
  const uint32_t self = platform::CurrentThreadId();
  ASSERT_TRUE(Contexts().AddNew(self, nullptr));
  Contexts().Find(self)->lastError = kErrorSendingFile;
  EXPECT_EQ(ErrorMessageFor(), "Sending file not possible");
  Contexts().Remove(self);
}

}  // namespace
}  // namespace quorvel
