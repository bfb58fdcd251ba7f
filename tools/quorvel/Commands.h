// The commands of the quorvel tool. Each lives in a file of its own, defines
// its spec (options, operands, help) and is listed once in main.cpp.
#pragma once

#include "CommandLine.h"

namespace quorvel::tool {

extern const CommandSpec kDumpCommand;
extern const CommandSpec kSendCommand;

}  // namespace quorvel::tool
