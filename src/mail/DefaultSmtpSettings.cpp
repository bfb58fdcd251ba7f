// The library-wide SMTP defaults: the host's parameters, the user's own
// settings found by discovery, or the built-in values that cannot be reached.
#include "mail/DefaultSmtpSettings.h"

#include "mail/SmtpDiscovery.h"
#include "protocol/SmtpSettings.h"

namespace quorvel {

bool SetDefaultSmtpSettings(const char* host, const char* address, uint16_t port,
                            const char* name) {
  DefaultSmtpSettingsState defaults = DefaultSmtpSettings();
  if (host != nullptr) {
    defaults.settings.host = host;
    defaults.settings.address = address == nullptr ? "" : address;
    defaults.settings.port = port;
    defaults.settings.name = name == nullptr ? "" : name;
    defaults.valid = true;
  } else if (DiscoverSmtpSettings(defaults.settings)) {
    defaults.valid = true;
  } else {
    defaults.settings.host = kFallbackSmtpHost;
    defaults.settings.address = kFallbackSenderAddress;
    defaults.settings.name = kFallbackSenderName;
    defaults.settings.port = 25;
    defaults.valid = false;
  }
  ReplaceDefaultSmtpSettings(defaults);
  return defaults.valid;
}

}  // namespace quorvel
