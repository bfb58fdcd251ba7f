// Registered message numbers.
#include "platform/WindowMessages.h"

#include <gtest/gtest.h>

namespace quorvel::platform {
namespace {

TEST(RegisteredMessages, OneNumberPerNameFromC000) {
  const uint32_t first = RegisterMessageName("quorvel.test.first");
  const uint32_t second = RegisterMessageName("quorvel.test.second");
  EXPECT_GE(first, 0xC000u);
  EXPECT_LE(second, 0xFFFFu);
  EXPECT_NE(first, second);
  EXPECT_EQ(RegisterMessageName("QUORVEL.Test.First"), first) << "names ignore case";
  EXPECT_EQ(RegisterMessageName(""), 0u);
}

}  // namespace
}  // namespace quorvel::platform
