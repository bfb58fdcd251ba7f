// The tool's one option parser and help printer. A command declares its
// options and operands in a CommandDefinition; the parser checks a command line
// against it (unknown, missing, repeated options; operand count; -h and
// --help anywhere) and hands the command an Invocation. Adding a command is
// a definition, a run function and one line in the command list of main.cpp.
#pragma once

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::tool {

using Arguments = std::vector<std::string>;

struct OptionDefinition {
  const char* name;       // "--to"
  const char* valueName;  // "ADDR"; null for a flag without a value
  const char* help;
  bool required = false;
  bool repeatable = false;
};

class Invocation;
struct ParseResult;

struct CommandDefinition {
  const char* name;
  const char* operands;  // "FILE" for the help text; "" when there are none
  size_t minOperands;
  size_t maxOperands;
  const char* summary;   // one line
  std::vector<OptionDefinition> options;
  int (*run)(const Invocation& invocation);
  // A command that reads its own arguments sets this instead of `run`: it
  // gets every argument after its name, and only -h and --help are taken
  // from it first.
  int (*runArguments)(const Arguments& arguments) = nullptr;
  // What the command does beyond its summary, in lines of at most 76
  // characters, each ending with "\n"; null when the summary says it all.
  const char* details = nullptr;
};

// A command line that passed its command's checks.
class Invocation {
 public:
  const CommandDefinition& command() const { return *command_; }
  const Arguments& operands() const { return operands_; }
  // Every argument after the command's name, as given.
  const Arguments& arguments() const { return arguments_; }
  bool Has(const std::string& option) const { return values_.count(option) != 0; }
  // The value of a single option; `fallback` when it was not given.
  std::string Value(const std::string& option, const std::string& fallback = "") const;
  // Every value of a repeatable option, in command-line order.
  const Arguments& Values(const std::string& option) const;

  // "quorvel COMMAND: " + message, to standard error.
  void Complain(const std::string& message) const;

 private:
  friend ParseResult ParseCommandLine(const CommandDefinition& command, const Arguments& arguments);
  const CommandDefinition* command_ = nullptr;
  std::map<std::string, Arguments> values_;
  Arguments operands_;
  Arguments arguments_;
};

struct ParseResult {
  std::optional<Invocation> invocation;  // empty on help or error
  bool helpAsked = false;
  std::string error;  // what is wrong, naming the option or operand
};

// Checks `arguments` (those after the command's name) against `command`.
// "--" ends the options; "--name=value" is the same as "--name value".
ParseResult ParseCommandLine(const CommandDefinition& command, const Arguments& arguments);

// The command's usage line, summary, details and options.
void PrintCommandHelp(const CommandDefinition& command, FILE* out);

// Reports a usage error of `command` on standard error; answers kExitUsage.
int UsageError(const CommandDefinition& command, const std::string& message);

}  // namespace quorvel::tool
