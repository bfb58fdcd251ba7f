// Pegasus Mail and Eudora keep their settings in ini files that the registry
// points to: pmail.ini in the mailbox directory, and the ini file named last
// on Eudora's command line.
#include "_Common/Classes/Registry/RegistryKey.h"
#include "mail/ConfigFileLines.h"
#include "text/DerivedName.h"
#include "mail/SmtpProbes.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

bool Contains(const std::string& line, std::string_view what) {
  return line.find(what) != std::string::npos;
}

bool Complete(SmtpSettings& found, SmtpSettings& result) {
  if (found.host.empty() || found.address.empty()) return false;
  found.name = DerivedName(found.name, found.address);
  result = found;
  return true;
}

}  // namespace

bool ProbePegasus(SmtpSettings& result) {
  RegistryKey key(platform::RegistryRoot::CurrentUser, platform::kRegistryRead);
  std::string directory;
  if (!key.Open(platform::RegistryRoot::CurrentUser, "Software\\Pegasus Mail\\Mailbox\\",
                platform::kRegistryRead) ||
      !key.ReadString("", directory)) {
    return false;
  }
  if (directory.empty() || !platform::IsPathSeparator(directory.back())) {
    directory += platform::kPathSeparator;
  }
  const auto lines = ReadConfigLines(directory + "pmail.ini");
  if (!lines) return false;
  SmtpSettings found;
  std::string alternativeSender;
  for (const std::string& line : *lines) {
    if (Contains(line, "SMTP relay host for outgoing mail")) {
      found.host = ValueAfterEquals(line);
    } else if (Contains(line, "Default reply-to address")) {
      found.address = ValueAfterEquals(line);
    } else if (Contains(line, "Alternative From: field for message")) {
      alternativeSender = ValueAfterEquals(line);
    } else if (Contains(line, "Personal name")) {
      found.name = ValueAfterEquals(line);
    }
  }
  if (found.address.empty()) found.address = alternativeSender;
  return Complete(found, result);
}

bool ProbeEudora(SmtpSettings& result) {
  RegistryKey key(platform::RegistryRoot::CurrentUser, platform::kRegistryRead);
  std::string commandLine;
  if (!key.Open(platform::RegistryRoot::CurrentUser, "Software\\Qualcomm\\Eudora\\CommandLine\\",
                platform::kRegistryRead) ||
      !key.ReadString("Current", commandLine)) {
    return false;
  }
  const size_t lastSpace = commandLine.rfind(' ');
  const std::string iniFile =
      lastSpace == std::string::npos ? commandLine : commandLine.substr(lastSpace + 1);
  const auto lines = ReadConfigLines(iniFile);
  if (!lines) return false;
  SmtpSettings found;
  std::string popAccount;
  bool inSettings = false;
  for (const std::string& line : *lines) {
    if (!inSettings) {
      inSettings = Trimmed(line) == "[Settings]";
      continue;
    }
    if (!line.empty() && line.front() == '[') break;
    if (Contains(line, "SMTPServer")) {
      found.host = ValueAfterEquals(line);
    } else if (Contains(line, "ReturnAddress")) {
      found.address = ValueAfterEquals(line);
    } else if (Contains(line, "POPAccount")) {
      popAccount = ValueAfterEquals(line);
    } else if (Contains(line, "RealName")) {
      found.name = ValueAfterEquals(line);
    }
  }
  if (found.address.empty()) found.address = popAccount;
  return Complete(found, result);
}

}  // namespace quorvel
