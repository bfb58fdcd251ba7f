// COMMAND [ARGUMENTS]: finds the command and runs it; --help and -h (the
// list of commands), help (the full reference), help COMMAND and --version
// as git and curl answer them. Both programs of the tool run their commands
// through it.
#include "Program.h"

#include <cstdio>
#include <string>

#include "ExitCodes.h"
#include "quorvel/Version.h"

namespace quorvel::tool {
namespace {

// The program's commands, in the order the help lists them, and what the
// full reference adds at its end.
std::span<const CommandDefinition* const> programCommands;
const char* referenceEndText = "";

const CommandDefinition* FindCommand(const std::string& name) {
  for (const CommandDefinition* command : programCommands) {
    if (name == command->name) return command;
  }
  return nullptr;
}

void PrintOverview(FILE* out) {
  std::fprintf(out,
               "usage: quorvel COMMAND [ARGUMENTS]\n"
               "       quorvel help COMMAND | COMMAND --help\n"
               "       quorvel help      (the full reference)\n"
               "       quorvel --version\n\ncommands:\n");
  for (const CommandDefinition* command : programCommands) {
    std::fprintf(out, "  %-8s %s\n", command->name, command->summary);
  }
  std::fprintf(out,
               "\nexit codes: 0 done, 1 damaged or unreadable file, 2 bad usage, 3 no connection,\n"
               "            4 time-out, 5 refused by the server, 6 other failure\n");
}

// The list of commands, then every command's help.
void PrintReference(FILE* out) {
  PrintOverview(out);
  for (const CommandDefinition* command : programCommands) {
    std::fprintf(out, "\n---- quorvel %s\n\n", command->name);
    PrintCommandHelp(*command, out);
  }
  std::fprintf(out,
               "\nHelp goes to standard output; errors go to standard error and name the\n"
               "option or file at fault. See also: man quorvel.\n%s",
               referenceEndText);
}

int UnknownCommand(const std::string& name) {
  std::fprintf(stderr, "quorvel: unknown command \"%s\"\nTry 'quorvel --help'.\n", name.c_str());
  return kExitUsage;
}

int Help(const Arguments& topics, bool fullReference) {
  if (topics.empty()) {
    if (fullReference) {
      PrintReference(stdout);
    } else {
      PrintOverview(stdout);
    }
    return kExitOk;
  }
  if (topics.size() > 1) {
    std::fprintf(stderr, "quorvel help: unexpected argument \"%s\"\n", topics[1].c_str());
    return kExitUsage;
  }
  const CommandDefinition* command = FindCommand(topics[0]);
  if (command == nullptr) return UnknownCommand(topics[0]);
  PrintCommandHelp(*command, stdout);
  return kExitOk;
}

int Run(const std::string& name, const Arguments& arguments) {
  if (name == "--help" || name == "-h" || name == "help") return Help(arguments, name == "help");
  if (name == "--version") {
    std::printf("quorvel %s\n", QUORVEL_VERSION_STRING);
    return kExitOk;
  }
  const CommandDefinition* command = FindCommand(name);
  if (command == nullptr) return UnknownCommand(name);
  if (command->runArguments != nullptr) {
    for (const std::string& argument : arguments) {
      if (argument == "--") break;
      if (argument == "-h" || argument == "--help") {
        PrintCommandHelp(*command, stdout);
        return kExitOk;
      }
    }
    return command->runArguments(arguments);
  }
  const ParseResult parsed = ParseCommandLine(*command, arguments);
  if (parsed.helpAsked) {
    PrintCommandHelp(*command, stdout);
    return kExitOk;
  }
  if (!parsed.invocation) return UsageError(*command, parsed.error);
  return command->run(*parsed.invocation);
}

}  // namespace

int RunProgram(std::span<const CommandDefinition* const> commands, const char* referenceEnd,
               int argc, char** argv) {
  programCommands = commands;
  referenceEndText = referenceEnd;
  if (argc < 2) {
    PrintOverview(stderr);
    return kExitUsage;
  }
  return Run(argv[1], Arguments(argv + 2, argv + argc));
}

}  // namespace quorvel::tool
