// Outlook Express and Outlook keep their accounts under an account manager
// key: a default account by name, and every account as a subkey of
// "Accounts". When the default account lacks a host or an address, the first
// account with an "SMTP Server" value is taken, even with empty values.
#include <vector>

#include "_Common/Classes/Registry/RegistryKey.h"
#include "text/DerivedName.h"
#include "mail/SmtpProbes.h"

namespace quorvel {

namespace {

constexpr const char* kOutlookExpressManager = "Software\\Microsoft\\Internet Account Manager\\";
constexpr const char* kOutlookManagers[] = {
    "Software\\Microsoft\\Office\\Outlook\\OMI Account Manager\\",
    "Software\\Microsoft\\Office\\10.0\\Outlook\\Internet Account Manager\\",
    "Software\\Microsoft\\Office\\9.0\\Outlook\\Internet Account Manager\\",
    "Software\\Microsoft\\Office\\8.0\\Outlook\\Internet Account Manager\\",
    "Software\\Microsoft\\Office\\7.0\\Outlook\\Internet Account Manager\\",
};

// Address and name of the account the key is open on; Outlook Express also
// falls back to the plain e-mail address when there is no reply-to address.
void ReadSender(RegistryKey& account, bool plainAddressFallback, SmtpSettings& found) {
  if (!account.ReadString("SMTP Reply To Email Address", found.address) && plainAddressFallback) {
    account.ReadString("SMTP Email Address", found.address);
  }
  account.ReadString("SMTP Display Name", found.name);
}

void DeriveNameWhenComplete(SmtpSettings& found) {
  if (!found.host.empty() && !found.address.empty()) {
    found.name = DerivedName(found.name, found.address);
  }
}

bool ProbeAccountManager(const std::string& manager, bool plainAddressFallback,
                         SmtpSettings& result) {
  RegistryKey key(platform::RegistryRoot::CurrentUser, platform::kRegistryRead);
  SmtpSettings found;
  std::string account;
  if (key.Open(platform::RegistryRoot::CurrentUser, manager, platform::kRegistryRead) &&
      key.ReadString("Default Mail Account", account) &&
      key.OpenSubKey("Accounts\\" + account)) {
    key.ReadString("SMTP Server", found.host);
    ReadSender(key, plainAddressFallback, found);
    if (!found.host.empty() && !found.address.empty()) {
      DeriveNameWhenComplete(found);
      result = found;
      return true;
    }
  }

  if (!key.Open(platform::RegistryRoot::CurrentUser, manager + "Accounts\\",
                platform::kRegistryRead)) {
    return false;
  }
  std::vector<std::string> accounts;
  key.EnumSubKeys(accounts);
  for (const std::string& name : accounts) {
    if (!key.OpenSubKey(name)) continue;
    SmtpSettings candidate;
    if (key.ReadString("SMTP Server", candidate.host)) {
      ReadSender(key, plainAddressFallback, candidate);
      DeriveNameWhenComplete(candidate);
      result = candidate;
      return true;
    }
    if (!key.Up(1)) return false;
  }
  return false;
}

}  // namespace

bool ProbeOutlookExpress(SmtpSettings& found) {
  return ProbeAccountManager(kOutlookExpressManager, true, found);
}

bool ProbeOutlook(SmtpSettings& found) {
  for (const char* manager : kOutlookManagers) {
    if (ProbeAccountManager(manager, false, found)) return true;
  }
  return false;
}

}  // namespace quorvel
