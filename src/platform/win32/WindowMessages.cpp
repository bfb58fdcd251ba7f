// The system's registered messages and SendMessageA: the host's window
// handle is its HWND.
#include <windows.h>

#include <string>

#include "platform/WindowMessages.h"

namespace quorvel::platform {

uint32_t RegisterMessageName(std::string_view name) {
  if (name.empty()) return 0;
  return ::RegisterWindowMessageA(std::string(name).c_str());
}

intptr_t SendToClientWindow(WindowHandle window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) {
  if (window == nullptr) return 0;
  return ::SendMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam);
}

}  // namespace quorvel::platform
