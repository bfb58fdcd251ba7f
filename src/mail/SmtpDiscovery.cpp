// The default mail client is the installed client (a subkey of
// HKEY_LOCAL_MACHINE\Software\Clients\Mail) whose mailto command is exactly
// the system's; its probe goes first because its settings are the ones the
// user actually sends with.
#include "mail/SmtpDiscovery.h"

#include <vector>

#include "_Common/Classes/Registry/RegistryKey.h"
#include "mail/ConfigFileLines.h"
#include "mail/SmtpProbes.h"

namespace quorvel {

namespace {

constexpr const char* kNoCommandMarker = "*** QUORVEL - No Path ***";
constexpr const char* kMailtoCommand = "Protocols\\mailto\\shell\\open\\command\\";
constexpr int kMailtoCommandDepth = 6;  // the client's name and five more levels

using Probe = bool (*)(SmtpSettings&);
constexpr std::array<Probe, kProbeKeys.size()> kProbes = {
    ProbeOutlookExpress, ProbeOutlook, ProbeNetscape4, ProbeNetscape3,
    ProbePegasus,        ProbeEudora,  ProbeExchange};
constexpr size_t kExchangeProbe = 6;

bool RunProbe(size_t index, SmtpSettings& settings) {
  SmtpSettings found;
  if (!kProbes[index](found)) return false;
  settings.host = found.host;
  settings.address = found.address;
  settings.name = found.name;
  settings.source = kProbeKeys[index];
  return true;
}

}  // namespace

std::string DefaultMailClientName() {
  RegistryKey clients(platform::RegistryRoot::LocalMachine, platform::kRegistryRead);
  if (!clients.Open(platform::RegistryRoot::LocalMachine, "Software\\Clients\\Mail\\",
                    platform::kRegistryRead)) {
    return std::string();
  }
  std::vector<std::string> names;
  clients.EnumSubKeys(names);
  std::vector<std::string> commands;
  for (const std::string& name : names) {
    std::string command = kNoCommandMarker;
    if (clients.OpenSubKey(name + "\\" + kMailtoCommand)) {
      if (!clients.ReadString("", command)) command = kNoCommandMarker;
      if (!clients.Up(kMailtoCommandDepth)) return std::string();
    }
    commands.push_back(command);
  }
  RegistryKey system(platform::RegistryRoot::ClassesRoot, platform::kRegistryAllAccess);
  std::string systemCommand;
  if (!system.Open(platform::RegistryRoot::ClassesRoot, "mailto\\shell\\open\\command\\",
                   platform::kRegistryAllAccess) ||
      !system.ReadString("", systemCommand)) {
    return std::string();
  }
  for (size_t i = 0; i < names.size(); ++i) {
    if (commands[i] == systemCommand) return names[i];
  }
  return std::string();
}

size_t FirstProbeFor(const std::string& lowerCaseClientName) {
  for (size_t i = 0; i < kProbeKeys.size(); ++i) {
    if (lowerCaseClientName.find(kProbeKeys[i]) != std::string::npos) return i;
  }
  return kExchangeProbe;
}

bool DiscoverSmtpSettings(SmtpSettings& settings) {
  const size_t first = FirstProbeFor(LowerCase(DefaultMailClientName()));
  if (RunProbe(first, settings)) return true;
  for (size_t i = 0; i < kProbes.size(); ++i) {
    if (i != first && RunProbe(i, settings)) return true;
  }
  return false;
}

bool GetUserDefaultSmtpParams(std::string* host, uint16_t* port, std::string* address,
                              std::string* name) {
  SmtpSettings settings;
  if (!DiscoverSmtpSettings(settings)) return false;
  if (host != nullptr) *host = settings.host;
  if (port != nullptr) *port = settings.port;
  if (address != nullptr) *address = settings.address;
  if (name != nullptr) *name = settings.name;
  return true;
}

}  // namespace quorvel
