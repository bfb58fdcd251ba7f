// The commands of the quorvel tool. Each lives in a file of its own, defines
// its spec (options, operands, help) and is listed once in main.cpp.
#pragma once

#include "CommandLine.h"

namespace quorvel::tool {

extern const CommandSpec kDumpCommand;
extern const CommandSpec kSendCommand;

// Commands that read their own arguments (see CommandSpec::runArguments).
int RunMailbox(const Arguments& arguments);
inline const CommandSpec kMailboxCommand = {
    "mailbox", "BASE USER", 2, 2, "list a mailbox as a tree of threads", {}, nullptr, RunMailbox};

}  // namespace quorvel::tool
