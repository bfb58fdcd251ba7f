// Parsing a command's arguments against its definition, and its help text.
#include "CommandLine.h"

#include <string_view>

#include "ExitCodes.h"

namespace quorvel::tool {

namespace {

const OptionDefinition* FindOption(const CommandDefinition& command, std::string_view name) {
  for (const OptionDefinition& option : command.options) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

ParseResult Failed(std::string error) {
  ParseResult result;
  result.error = std::move(error);
  return result;
}

}  // namespace

std::string Invocation::Value(const std::string& option, const std::string& fallback) const {
  const auto found = values_.find(option);
  return found == values_.end() ? fallback : found->second.back();
}

const Arguments& Invocation::Values(const std::string& option) const {
  static const Arguments none;
  const auto found = values_.find(option);
  return found == values_.end() ? none : found->second;
}

void Invocation::Complain(const std::string& message) const {
  std::fprintf(stderr, "quorvel %s: %s\n", command_->name, message.c_str());
}

ParseResult ParseCommandLine(const CommandDefinition& command, const Arguments& arguments) {
  Invocation invocation;
  invocation.command_ = &command;
  invocation.arguments_ = arguments;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument == "-" || argument.rfind('-', 0) != 0) {
      invocation.operands_.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (argument == "-h" || argument == "--help") {
      ParseResult help;
      help.helpAsked = true;
      return help;
    }
    const size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const OptionDefinition* option = FindOption(command, name);
    if (option == nullptr) return Failed("unknown option " + Quoted(name));
    Arguments& values = invocation.values_[name];
    if (!values.empty() && !option->repeatable) return Failed("option " + name + " given twice");
    if (option->valueName == nullptr) {
      if (equals != std::string::npos) return Failed("option " + name + " takes no value");
      values.emplace_back();
    } else if (equals != std::string::npos) {
      values.push_back(argument.substr(equals + 1));
    } else if (i + 1 < arguments.size()) {
      values.push_back(arguments[++i]);
    } else {
      return Failed("option " + name + " needs a value (" + option->valueName + ")");
    }
  }
  for (const OptionDefinition& option : command.options) {
    if (option.required && !invocation.Has(option.name)) {
      return Failed("option " + std::string(option.name) + " is required");
    }
  }
  const size_t count = invocation.operands_.size();
  if (count < command.minOperands) return Failed(std::string("missing ") + command.operands);
  if (count > command.maxOperands) {
    return Failed("unexpected argument " + Quoted(invocation.operands_[command.maxOperands]));
  }
  ParseResult result;
  result.invocation = std::move(invocation);
  return result;
}

void PrintCommandHelp(const CommandDefinition& command, FILE* out) {
  std::fprintf(out, "usage: quorvel %s", command.name);
  for (const OptionDefinition& option : command.options) {
    const char* open = option.required ? " " : " [";
    const char* close = option.required ? "" : "]";
    std::fprintf(out, "%s%s%s%s%s%s", open, option.name, option.valueName ? " " : "",
                 option.valueName ? option.valueName : "", close, option.repeatable ? "..." : "");
  }
  std::fprintf(out, "%s%s\n\n%s\n", *command.operands ? " " : "", command.operands, command.summary);
  if (command.details != nullptr) std::fprintf(out, "\n%s", command.details);
  if (command.options.empty()) return;
  std::fprintf(out, "\noptions:\n");
  for (const OptionDefinition& option : command.options) {
    const std::string head = std::string(option.name) +
                             (option.valueName ? std::string(" ") + option.valueName : "");
    std::fprintf(out, "  %-22s %s%s\n", head.c_str(), option.help,
                 option.repeatable ? " (may be repeated)" : "");
  }
}

int UsageError(const CommandDefinition& command, const std::string& message) {
  std::fprintf(stderr, "quorvel %s: %s\nTry 'quorvel %s --help'.\n", command.name, message.c_str(),
               command.name);
  return kExitUsage;
}

}  // namespace quorvel::tool
