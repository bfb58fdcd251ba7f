// Registered message names live in one process-wide table; delivery to a
// client window is a direct call of the host's procedure.
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/WindowMessages.h"

namespace quorvel::platform {

namespace {

constexpr uint32_t kFirstRegistered = 0xC000;
constexpr uint32_t kLastRegistered = 0xFFFF;

std::string Folded(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace

uint32_t RegisterMessageName(std::string_view name) {
  static std::mutex lock;
  static std::vector<std::string> names;
  if (name.empty()) return 0;
  const std::string key = Folded(name);
  std::lock_guard hold(lock);
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == key) return kFirstRegistered + static_cast<uint32_t>(i);
  }
  if (kFirstRegistered + names.size() > kLastRegistered) return 0;
  names.push_back(key);
  return kFirstRegistered + static_cast<uint32_t>(names.size() - 1);
}

intptr_t SendToClientWindow(WindowHandle window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) {
  if (window == nullptr || window->procedure == nullptr) return 0;
  return window->procedure(window, message, wParam, lParam);
}

MessageWindow::MessageWindow(Procedure procedure)
    : procedure_(std::move(procedure)),
      handle_(new ClientWindow{[](ClientWindow* window, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam) {
                                 return (*static_cast<Procedure*>(window->hostData))(
                                     message, wParam, lParam);
                               },
                               &procedure_}) {}

MessageWindow::~MessageWindow() { delete handle_; }

}  // namespace quorvel::platform
