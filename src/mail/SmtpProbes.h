// The seven readers of mail-client configurations. Each answers true with
// host, address and name set in `found` (the name derived from the address
// when the client had none), and leaves `found` alone when it fails.
#pragma once

#include "protocol/SmtpSettings.h"

namespace quorvel {

bool ProbeOutlookExpress(SmtpSettings& found);  // "outlook"
bool ProbeOutlook(SmtpSettings& found);         // "microsoft outlook"
bool ProbeNetscape4(SmtpSettings& found);       // "netscape"
bool ProbeNetscape3(SmtpSettings& found);       // "netscape2"
bool ProbePegasus(SmtpSettings& found);         // "pegasus"
bool ProbeEudora(SmtpSettings& found);          // "eudora"
bool ProbeExchange(SmtpSettings& found);        // "exchange"

}  // namespace quorvel
