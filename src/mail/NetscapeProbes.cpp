// Navigator 4 keeps the current profile's settings in the profile's prefs.js,
// whose directory is found from the POP state path of the profile's default
// server; Navigator 3 keeps them in the registry itself.
#include <optional>

#include "_Common/Classes/Registry/RegistryKey.h"
#include "mail/ConfigFileLines.h"
#include "text/DerivedName.h"
#include "mail/SmtpProbes.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

constexpr const char* kNavigator = "Software\\Netscape\\Netscape Navigator\\";
constexpr std::string_view kSmtpServerPref = "user_pref(\"network.hosts.smtp_server\", \"";
constexpr std::string_view kReplyToPref = "user_pref(\"mail.identity.reply_to\", \"";
constexpr std::string_view kUserEmailPref = "user_pref(\"mail.identity.useremail\", \"";
constexpr std::string_view kUserNamePref = "user_pref(\"mail.identity.username\", \"";

// The prefix is taken to begin the line: the value runs from its end to the
// next double quote.
bool ReadPref(const std::string& line, std::string_view prefix, std::string& value) {
  if (line.find(prefix) == std::string::npos || line.size() < prefix.size()) return false;
  const std::string rest = line.substr(prefix.size());
  value = rest.substr(0, rest.find('"'));
  return true;
}

// The profile directory: the POP state path up to the character after
// "users" + separator + user (compared in lower case).
std::optional<std::string> ProfileDirectory(const std::string& popStatePath,
                                            const std::string& user) {
  const std::string needle = LowerCase("users" + std::string(1, platform::kPathSeparator) + user);
  const size_t found = LowerCase(popStatePath).find(needle);
  if (found == std::string::npos || found < 1) return std::nullopt;
  return popStatePath.substr(0, found + needle.size() + 1);
}

}  // namespace

bool ProbeNetscape4(SmtpSettings& result) {
  RegistryKey key(platform::RegistryRoot::CurrentUser, platform::kRegistryRead);
  std::string user, server, popStatePath;
  if (!key.Open(platform::RegistryRoot::CurrentUser, std::string(kNavigator) + "biff\\",
                platform::kRegistryRead) ||
      !key.ReadString("CurrentUser", user) || !key.OpenSubKey("users\\" + user) ||
      !key.ReadString("defaultServer", server) || !key.OpenSubKey("servers\\" + server) ||
      !key.ReadString("popstatePath", popStatePath)) {
    return false;
  }
  const auto directory = ProfileDirectory(popStatePath, user);
  if (!directory) return false;
  const auto lines = ReadConfigLines(*directory + "prefs.js");
  if (!lines) return false;
  SmtpSettings found;
  std::string replyTo, userEmail;
  for (const std::string& line : *lines) {
    if (ReadPref(line, kSmtpServerPref, found.host)) continue;
    if (ReadPref(line, kReplyToPref, replyTo)) continue;
    if (ReadPref(line, kUserEmailPref, userEmail)) continue;
    ReadPref(line, kUserNamePref, found.name);
  }
  found.address = replyTo.empty() ? userEmail : replyTo;
  if (found.host.empty() || found.address.empty()) return false;
  found.name = DerivedName(found.name, found.address);
  result = found;
  return true;
}

bool ProbeNetscape3(SmtpSettings& result) {
  RegistryKey key(platform::RegistryRoot::CurrentUser, platform::kRegistryRead);
  SmtpSettings found;
  if (!key.Open(platform::RegistryRoot::CurrentUser, std::string(kNavigator) + "Services\\",
                platform::kRegistryRead) ||
      !key.ReadString("SMTP_Server", found.host) || found.host.empty()) {
    return false;
  }
  if (!key.Open(platform::RegistryRoot::CurrentUser, std::string(kNavigator) + "User\\",
                platform::kRegistryRead)) {
    return false;
  }
  if (!key.ReadString("Reply_To", found.address) || found.address.empty()) {
    if (!key.ReadString("User_Addr", found.address) || found.address.empty()) return false;
  }
  key.ReadString("User_Name", found.name);
  found.name = DerivedName(found.name, found.address);
  result = found;
  return true;
}

}  // namespace quorvel
