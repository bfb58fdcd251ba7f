#include "mail/SmtpSettings.h"

namespace quorvel {

DefaultSmtpSettingsState& DefaultSmtpSettings() {
  static DefaultSmtpSettingsState state;
  return state;
}

std::atomic<bool>& SmtpConnectionsForbidden() {
  static std::atomic<bool> forbidden{false};
  return forbidden;
}

}  // namespace quorvel
