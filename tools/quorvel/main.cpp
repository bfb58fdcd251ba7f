// quorvel COMMAND [ARGUMENTS]: the reference host. It links the shared
// library only; dump, parse and send without --mes run in quorvel-core
// (CoreProgram.cpp), so one process never holds two copies of the library.
#include "Commands.h"
#include "Program.h"

namespace {

using namespace quorvel::tool;

// Every command, in the order the help lists them.
const CommandDefinition* const kCommands[] = {&kDemoCommand,    &kDumpCommand,     &kMailboxCommand,
                                        &kSendCommand,    &kWriteCommand,    &kReplyCommand,
                                        &kReceiveCommand, &kExchangeCommand, &kParseCommand};

const char kReferenceEnd[] =
    "\nquorvel is a host of the shared library: its commands go through the\n"
    "exported functions. dump, parse and send without --mes read formats and\n"
    "speak SMTP with the library's core itself: quorvel runs them in\n"
    "quorvel-core, the program beside it, with the same arguments.\n";

}  // namespace

int main(int argc, char** argv) {
  return quorvel::tool::RunProgram(kCommands, kReferenceEnd, argc, argv);
}
