// Registered message numbers and synchronous delivery of a message to the
// host's client window.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <thread>

#include "quorvel/Handles.h"

namespace quorvel::platform {

// The process-wide number of a message name, from 0xC000 upward in order of
// first registration; names are compared without regard to case.
uint32_t RegisterMessageName(std::string_view name);

// Sends a message to the client window and waits until it is handled; a null
// window answers 0.
intptr_t SendToClientWindow(WindowHandle window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam);

// A window that hands the registered messages (from 0xC000) sent to it to a
// function, as a host's window procedure would, and answers what it returns.
// On POSIX it is a ClientWindow, called on the sending thread; on Windows a
// message-only window (its HWND) served by a thread of its own that waits for
// messages, as a host's window thread does, so that any thread can send.
class MessageWindow {
 public:
  using Procedure = std::function<intptr_t(uint32_t message, uintptr_t wParam, intptr_t lParam)>;
  explicit MessageWindow(Procedure procedure);
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  // Null when the system refused the window.
  WindowHandle handle() const { return handle_; }

 private:
  Procedure procedure_;
  WindowHandle handle_ = nullptr;
  std::thread messageLoop_;  // Windows only
};

}  // namespace quorvel::platform
