// The commands of the quorvel tool. Each lives in a file of its own, defines
// its definition (options, operands, help) and is listed once in main.cpp; dump,
// parse and send without --mes run in quorvel-core (quorvel-core/main.cpp).
#pragma once

#include <cstdint>

#include "CommandLine.h"

namespace quorvel::tool {

extern const CommandDefinition kDumpCommand;
extern const CommandDefinition kSendCommand;
extern const CommandDefinition kDemoCommand;
extern const CommandDefinition kExchangeCommand;

// "HOST" or "HOST:PORT" (1 to 65535); `port` keeps its value without one.
bool ParseHostAndPort(const std::string& text, std::string& host, uint16_t& port);
// quorvel send --mes: a mail-data file through the library's send exports.
int RunSendMes(const Invocation& invocation);
// quorvel send without --mes: the core's composer and SMTP client
// (quorvel-core); quorvel runs quorvel-core for it.
int RunSendBySmtp(const Invocation& invocation);
// quorvel dump (quorvel-core; quorvel runs quorvel-core for it).
int RunDump(const Invocation& invocation);

// Commands that read their own arguments (see CommandDefinition::runArguments).
int RunMailbox(const Arguments& arguments);
extern const CommandDefinition kMailboxCommand;
// quorvel mailbox BASE USER show | extract | remove: one item of a mailbox.
bool IsMailboxItemCommand(const std::string& word);
int RunMailboxItem(const Arguments& arguments);
inline constexpr const char* kWriteUsage =
    "BASE USER --route R [--text FILE] [--attach FILE]... [--answer INDEX] [--number N]";
int RunWrite(const Arguments& arguments);
inline constexpr const char* kReplyUsage =
    "BASE USER INDEX --route R [--text FILE] [--attach FILE]... [--number N]";
int RunReply(const Arguments& arguments);
extern const CommandDefinition kWriteCommand;
extern const CommandDefinition kReplyCommand;

inline constexpr const char* kReceiveUsage =
    "--pop HOST[:PORT] --user U (--password P | --password-file F | --oauth-token-file F) --to DIR"
    " [--tls starttls|implicit] [--ca-file F] [--insecure] [--timeout MS] [--max-size BYTES]"
    " [--quiet]";
int RunReceive(const Arguments& arguments);
inline constexpr const char* kParseUsage = "FILE --to DIR";
// quorvel parse (quorvel-core; quorvel runs quorvel-core for it).
int RunParse(const Arguments& arguments);
extern const CommandDefinition kReceiveCommand;
inline const CommandDefinition kParseCommand = {
    "parse", kParseUsage, 1, SIZE_MAX, "turn one message file into a mail-data file and attachments",
    {}, nullptr, RunParse,
    "Reads one message file as a server stores it (CR LF or LF line ends) and\n"
    "writes what the library's reader makes of it into DIR: a mail-data file\n"
    "and its attachment files.\n"};

}  // namespace quorvel::tool
