// isatty on the standard error descriptor.
#include "platform/Terminal.h"

#include <unistd.h>

namespace quorvel::platform {

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace quorvel::platform
