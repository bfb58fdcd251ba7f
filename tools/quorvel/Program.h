// The command dispatch and help shared by the tool's two programs: quorvel,
// the host of the shared library, and quorvel-core, which runs the commands
// that use the library's core directly.
#pragma once

#include <span>

#include "CommandLine.h"

namespace quorvel::tool {

// Runs the command named by argv[1] among `commands`; `referenceEnd` ends the
// full reference ("quorvel help"). Answers the exit code.
int RunProgram(std::span<const CommandDefinition* const> commands, const char* referenceEnd,
               int argc, char** argv);

}  // namespace quorvel::tool
