// quorvel COMMAND [ARGUMENTS]: finds the subcommand and runs it.
#include <cstdio>
#include <cstring>

#include "Commands.h"

namespace quorvel::tool {
namespace {

// Subcommands, in the order the help lists them.
const Command kCommands[] = {
    {"help", "", "show this text", nullptr},
    {"dump", "FILE", "print an exchange file (packing, header, CRC, values) or a .mes file", RunDump},
    {"send", kSendUsage, "compose one message and deliver it by SMTP, with a progress bar", RunSend},
    {"send", kSendMesUsage, "send a mail-data file as a host does, optionally in the background",
     RunSend},
    {"receive", kReceiveUsage, "fetch every waiting message by POP3 into a directory", RunReceive},
    {"parse", kParseUsage, "turn one message file into a mail-data file and attachments", RunParse},
};

int PrintHelp(FILE* out) {
  std::fprintf(out, "usage: quorvel COMMAND [ARGUMENTS]\n\ncommands:\n");
  for (const Command& command : kCommands) {
    std::fprintf(out, "  %s %s\n      %s\n", command.name, command.usage, command.summary);
  }
  return out == stdout ? 0 : 2;
}

}  // namespace
}  // namespace quorvel::tool

int main(int argc, char** argv) {
  using namespace quorvel::tool;
  if (argc < 2) return PrintHelp(stderr);
  const Arguments arguments(argv + 2, argv + argc);
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.name) != 0) continue;
    if (command.run == nullptr) return PrintHelp(stdout);
    return command.run(arguments);
  }
  std::fprintf(stderr, "quorvel: unknown command \"%s\"\n\n", argv[1]);
  return PrintHelp(stderr);
}
