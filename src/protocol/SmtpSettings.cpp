#include "protocol/SmtpSettings.h"

#include <mutex>

namespace quorvel {

namespace {

struct GuardedDefaults {
  std::mutex lock;
  DefaultSmtpSettingsState state;
};

GuardedDefaults& Defaults() {
  static GuardedDefaults defaults;
  return defaults;
}

}  // namespace

const DefaultSmtpSettingsState DefaultSmtpSettings() {
  std::lock_guard hold(Defaults().lock);
  return Defaults().state;
}

void ReplaceDefaultSmtpSettings(const DefaultSmtpSettingsState& state) {
  std::lock_guard hold(Defaults().lock);
  Defaults().state = state;
}

std::atomic<bool>& SmtpConnectionsForbidden() {
  static std::atomic<bool> forbidden{false};
  return forbidden;
}

}  // namespace quorvel
