// The commands of the quorvel tool. Each lives in a file of its own, defines
// its spec (options, operands, help) and is listed once in main.cpp.
#pragma once

#include "CommandLine.h"

namespace quorvel::tool {

extern const CommandSpec kDumpCommand;
extern const CommandSpec kSendCommand;

// "HOST" or "HOST:PORT" (1 to 65535); `port` keeps its value without one.
bool ParseHostAndPort(const std::string& text, std::string& host, uint16_t& port);
// quorvel send --mes: a mail-data file through the library's send exports.
int RunSendMes(const Invocation& invocation);

// Commands that read their own arguments (see CommandSpec::runArguments).
int RunMailbox(const Arguments& arguments);
inline const CommandSpec kMailboxCommand = {
    "mailbox", "BASE USER", 2, 2, "list a mailbox as a tree of threads", {}, nullptr, RunMailbox};

}  // namespace quorvel::tool
