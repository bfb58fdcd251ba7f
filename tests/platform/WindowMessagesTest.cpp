// Registered message numbers and synchronous delivery to a client window.
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

struct Recorder : ClientWindow {
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

intptr_t Record(ClientWindow* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  auto* recorder = static_cast<Recorder*>(window);
  recorder->message = message;
  recorder->wParam = wParam;
  recorder->lParam = lParam;
  return 42;
}

TEST(ClientWindow, ReceivesTheMessageBeforeSendReturns) {
  Recorder window;
  window.procedure = &Record;
  EXPECT_EQ(SendToClientWindow(&window, 0xC123, 7, 9), 42);
  EXPECT_EQ(window.message, 0xC123u);
  EXPECT_EQ(window.wParam, 7u);
  EXPECT_EQ(window.lParam, 9);
  EXPECT_EQ(SendToClientWindow(nullptr, 1, 2, 3), 0);
  ClientWindow withoutProcedure{nullptr, nullptr};
  EXPECT_EQ(SendToClientWindow(&withoutProcedure, 1, 2, 3), 0);
}

}  // namespace
}  // namespace quorvel::platform
