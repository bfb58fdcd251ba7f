// The fixed messages of the error codes.
#include "frame/ErrorCodes.h"

#include <gtest/gtest.h>

#include "frame/ContextTable.h"
#include "platform/Threads.h"

namespace quorvel {
namespace {

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
