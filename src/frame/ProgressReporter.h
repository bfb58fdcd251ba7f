// Progress goes out twice for each event: first as the registered window
// message to the host's client window (synchronously), then to the host's
// progress callback, each only when set.
#pragma once

#include <cstdint>

#include "platform/WindowMessages.h"
#include "quorvel/Handles.h"

namespace quorvel {

struct ProgressReporter {
  uint32_t messageNumber = 0;  // SmtpMessageNumber() or PopMessageNumber()
  WindowHandle window = nullptr;
  ProgressCallback callback = nullptr;

  void Report(uint32_t event, uint32_t argument) const {
    platform::SendToClientWindow(window, messageNumber, event, static_cast<intptr_t>(argument));
    if (callback != nullptr) callback(event, argument);
  }
};

}  // namespace quorvel
