// quorvel-core COMMAND [ARGUMENTS]: the tool's commands that use the
// library's core directly (the dumps, the message reader, the composer and
// SMTP client), without the shared library. quorvel runs it for them.
#include <string>

#include "Commands.h"
#include "Program.h"

namespace quorvel::tool {

// The host's way of sending a mail-data file is not this program's.
int RunSendMes(const Invocation& invocation) {
  return UsageError(invocation.command(),
                    "--mes sends through the shared library: use quorvel send --mes");
}

}  // namespace quorvel::tool

namespace {

using namespace quorvel::tool;

const CommandDefinition* const kCommands[] = {&kDumpCommand, &kSendCommand, &kParseCommand};

const char kReferenceEnd[] =
    "\nquorvel-core runs the commands of quorvel that use the library's core\n"
    "directly; quorvel starts it for them.\n";

}  // namespace

int main(int argc, char** argv) {
  return quorvel::tool::RunProgram(kCommands, kReferenceEnd, argc, argv);
}
