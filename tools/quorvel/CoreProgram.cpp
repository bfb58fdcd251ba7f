// The commands that use the library's core directly run in quorvel-core, the
// program beside quorvel: this process links the shared library only, and
// the core would bring a second context table into it.
#include <cstdio>
#include <optional>
#include <string>

#include "Commands.h"
#include "ExitCodes.h"
#include "platform/ChildProcess.h"
#include "platform/Paths.h"

namespace quorvel::tool {

namespace {

// Runs quorvel-core COMMAND ARGUMENTS on this process's standard streams and
// answers its exit code.
int RunInCoreProgram(const std::string& command, const Arguments& arguments) {
  const std::string program = platform::ExecutableDirectory() + "quorvel-core";
  Arguments all{command};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::fflush(stdout);
  std::fflush(stderr);
  const std::optional<int> code = platform::RunInPlace(program, all);
  if (!code) {
    std::fprintf(stderr, "quorvel %s: cannot start %s\n", command.c_str(), program.c_str());
    return kExitOtherFailure;
  }
  return *code < 0 ? kExitOtherFailure : *code;
}

}  // namespace

int RunDump(const Invocation& invocation) {
  return RunInCoreProgram("dump", invocation.arguments());
}

int RunParse(const Arguments& arguments) { return RunInCoreProgram("parse", arguments); }

int RunSendBySmtp(const Invocation& invocation) {
  return RunInCoreProgram("send", invocation.arguments());
}

}  // namespace quorvel::tool
