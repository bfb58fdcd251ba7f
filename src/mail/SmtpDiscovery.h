// Discovery of the user's own SMTP settings in the configuration of the mail
// clients installed on the machine: registry keys and the files they point
// to. Seven probes, each for one client; the default mail client's probe
// runs first, then the others in their fixed order.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "protocol/SmtpSettings.h"

namespace quorvel {

// The probe keys, in their fixed order.
inline constexpr std::array<const char*, 7> kProbeKeys = {
    "outlook", "microsoft outlook", "netscape", "netscape2", "pegasus", "eudora", "exchange"};

// Fills host, address, name and source of `settings` from the first probe
// that succeeds; the port is never changed. False when all seven fail.
bool DiscoverSmtpSettings(SmtpSettings& settings);

// The registry name of the default mail client (the installed client whose
// mailto command is the system's), or empty.
std::string DefaultMailClientName();

// The index in kProbeKeys of the probe to try first for a client name
// (already lower-cased): the first key it contains, else "exchange".
size_t FirstProbeFor(const std::string& lowerCaseClientName);

// Discovery on fresh settings (port 25); on success copies host, port,
// address and name to the outputs that are not null.
bool GetUserDefaultSmtpParams(std::string* host, uint16_t* port, std::string* address,
                              std::string* name);

}  // namespace quorvel
