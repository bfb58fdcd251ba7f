#include "protocol/PopSettings.h"

#include <mutex>

namespace quorvel {

namespace {

std::mutex settingsLock;
PopSettings& Settings() {
  static PopSettings settings;
  return settings;
}

}  // namespace

bool SetPopSettings(const std::string& host, uint16_t port, const std::string& user,
                    const std::string& password) {
  std::lock_guard hold(settingsLock);
  Settings() = PopSettings{host, port, user, password};
  return true;
}

PopSettings CurrentPopSettings() {
  std::lock_guard hold(settingsLock);
  return Settings();
}

std::atomic<bool>& PopConnectionsForbidden() {
  static std::atomic<bool> forbidden{false};
  return forbidden;
}

}  // namespace quorvel
