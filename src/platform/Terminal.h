// Whether a person watches the standard streams: progress that redraws
// itself belongs on a terminal only.
#pragma once

namespace quorvel::platform {

// True when standard error is a terminal.
bool StandardErrorIsTerminal();

}  // namespace quorvel::platform
