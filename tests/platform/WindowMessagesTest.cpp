// Registered message numbers, and a window that hands them to a procedure.
#include "platform/WindowMessages.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>
#include <vector>

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

TEST(MessageWindows, HandWhatAnyThreadSendsToTheProcedureAndItsAnswerBack) {
  const uint32_t number = RegisterMessageName("quorvel.test.window");
  std::vector<std::tuple<uint32_t, uintptr_t, intptr_t>> seen;
  MessageWindow window([&](uint32_t message, uintptr_t wParam, intptr_t lParam) {
    seen.emplace_back(message, wParam, lParam);
    return lParam * 2;
  });
  ASSERT_NE(window.handle(), nullptr);
  EXPECT_EQ(SendToClientWindow(window.handle(), number, 7, 21), 42);
  std::thread([&] { EXPECT_EQ(SendToClientWindow(window.handle(), number, 8, -1), -2); }).join();
  EXPECT_EQ(seen, (std::vector<std::tuple<uint32_t, uintptr_t, intptr_t>>{{number, 7, 21},
                                                                          {number, 8, -1}}));
}

}  // namespace
}  // namespace quorvel::platform
