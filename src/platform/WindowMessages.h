// Registered message numbers and synchronous delivery of a message to the
// host's client window.
#pragma once

#include <cstdint>
#include <string_view>

#include "quorvel/Handles.h"

namespace quorvel::platform {

// The process-wide number of a message name, from 0xC000 upward in order of
// first registration; names are compared without regard to case.
uint32_t RegisterMessageName(std::string_view name);

// Sends a message to the client window and waits until it is handled; a null
// window answers 0.
intptr_t SendToClientWindow(WindowHandle window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam);

}  // namespace quorvel::platform
