// The exit codes of the quorvel tool, the same for every command; the man
// page and the README list them.
#pragma once

namespace quorvel::tool {

enum ExitCode : int {
  kExitOk = 0,
  kExitBadFile = 1,         // a file is damaged, or cannot be read or written
  kExitUsage = 2,           // the command line is wrong
  kExitNoConnection = 3,    // the connection was refused, failed or was lost
  kExitTimeout = 4,         // the server stopped answering
  kExitServerRefused = 5,   // the server answered with a refusal
  kExitOtherFailure = 6,    // anything else (stopped, out of memory)
};

}  // namespace quorvel::tool
