// The system's registered messages and SendMessageA: the host's window
// handle is its HWND. A MessageWindow is a message-only window whose
// procedure finds the function in the window's user data; its thread makes
// it, waits for its messages until it is destroyed, and ends.
#include <windows.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "platform/WindowMessages.h"

namespace quorvel::platform {

namespace {

constexpr UINT kFirstRegistered = 0xC000;
constexpr UINT kLastRegistered = 0xFFFF;

LRESULT CALLBACK ForwardMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto* procedure =
      reinterpret_cast<const MessageWindow::Procedure*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (procedure != nullptr && message >= kFirstRegistered &&
      message <= kLastRegistered) {
    return (*procedure)(message, wParam, lParam);
  }
  if (message == WM_DESTROY) ::PostQuitMessage(0);
  return ::DefWindowProcA(window, message, wParam, lParam);
}

const char* MessageWindowClass() {
  static const char* const name = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ForwardMessage;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QuorvelMessageWindow";
    return ::RegisterClassA(&windowClass) != 0 ? windowClass.lpszClassName : nullptr;
  }();
  return name;
}

}  // namespace

uint32_t RegisterMessageName(std::string_view name) {
  if (name.empty()) return 0;
  return ::RegisterWindowMessageA(std::string(name).c_str());
}

intptr_t SendToClientWindow(WindowHandle window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) {
  if (window == nullptr) return 0;
  return ::SendMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam);
}

MessageWindow::MessageWindow(Procedure procedure) : procedure_(std::move(procedure)) {
  if (MessageWindowClass() == nullptr) return;
  // Shared with the thread, which may still be leaving the lock when this returns.
  struct Start {
    std::mutex mutex;
    std::condition_variable made;
    bool tried = false;
  };
  const auto start = std::make_shared<Start>();
  messageLoop_ = std::thread([start, this] {
    HWND window = ::CreateWindowExA(0, MessageWindowClass(), "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, ::GetModuleHandleA(nullptr), nullptr);
    if (window != nullptr) {
      ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&procedure_));
    }
    {
      std::lock_guard hold(start->mutex);
      handle_ = reinterpret_cast<WindowHandle>(window);
      start->tried = true;
      start->made.notify_one();
    }
    MSG message;
    while (window != nullptr && ::GetMessageA(&message, nullptr, 0, 0) > 0) {
      ::DispatchMessageA(&message);
    }
  });
  std::unique_lock hold(start->mutex);
  start->made.wait(hold, [&] { return start->tried; });
}

MessageWindow::~MessageWindow() {
  if (handle_ != nullptr) ::PostMessageA(reinterpret_cast<HWND>(handle_), WM_CLOSE, 0, 0);
  if (messageLoop_.joinable()) messageLoop_.join();
}

}  // namespace quorvel::platform
