// Windows Messaging keeps one subkey per profile and, within it, one per
// service; the "Internet Mail" service holds the SMTP host and the sender
// under MAPI property names.
#include <vector>

#include "_Common/Classes/Registry/RegistryKey.h"
#include "mail/ConfigFileLines.h"
#include "text/DerivedName.h"
#include "mail/SmtpProbes.h"

namespace quorvel {

namespace {
constexpr const char* kProfiles = "Software\\Microsoft\\Windows Messaging Subsystem\\Profiles\\";
constexpr size_t kShortestValue = 4;
}  // namespace

bool ProbeExchange(SmtpSettings& result) {
  RegistryKey key(platform::RegistryRoot::CurrentUser, platform::kRegistryAllAccess);
  if (!key.Open(platform::RegistryRoot::CurrentUser, kProfiles, platform::kRegistryAllAccess)) {
    return false;
  }
  std::vector<std::string> profiles;
  key.EnumSubKeys(profiles);
  for (const std::string& profile : profiles) {
    RegistryKey services(platform::RegistryRoot::CurrentUser, platform::kRegistryAllAccess);
    if (!services.Open(platform::RegistryRoot::CurrentUser, kProfiles + profile,
                       platform::kRegistryAllAccess)) {
      continue;
    }
    std::vector<std::string> names;
    services.EnumSubKeys(names);
    for (const std::string& service : names) {
      RegistryKey entry(platform::RegistryRoot::CurrentUser, platform::kRegistryAllAccess);
      std::string displayName;
      if (!entry.Open(platform::RegistryRoot::CurrentUser,
                      std::string(kProfiles) + profile + "\\" + service,
                      platform::kRegistryAllAccess) ||
          !entry.ReadString("001e3001", displayName) || displayName != "Internet Mail") {
        continue;
      }
      SmtpSettings found;
      entry.ReadString("001e6600", found.host);
      entry.ReadString("001e6607", found.name);
      entry.ReadString("001e6605", found.address);
      found.host = std::string(Trimmed(found.host));
      found.address = std::string(Trimmed(found.address));
      if (found.host.size() < kShortestValue || found.address.size() < kShortestValue) return false;
      found.name = DerivedName(found.name, found.address);
      result = found;
      return true;
    }
  }
  return false;
}

}  // namespace quorvel
