// The commands of the quorvel tool. Each lives in a file of its own, defines
// its spec (options, operands, help) and is listed once in main.cpp.
#pragma once

#include <cstdint>

#include "CommandLine.h"

namespace quorvel::tool {

extern const CommandSpec kDumpCommand;
extern const CommandSpec kSendCommand;
extern const CommandSpec kDemoCommand;
extern const CommandSpec kExchangeCommand;

// "HOST" or "HOST:PORT" (1 to 65535); `port` keeps its value without one.
bool ParseHostAndPort(const std::string& text, std::string& host, uint16_t& port);
// quorvel send --mes: a mail-data file through the library's send exports.
int RunSendMes(const Invocation& invocation);

// Commands that read their own arguments (see CommandSpec::runArguments).
int RunMailbox(const Arguments& arguments);
inline const CommandSpec kMailboxCommand = {
    "mailbox", "BASE USER [show INDEX | extract INDEX DIR | remove INDEX[,INDEX...]]", 2, 5,
    "list a mailbox as a tree of threads; show one item, extract its files, remove items", {},
    nullptr, RunMailbox};
// quorvel mailbox BASE USER show | extract | remove: one item of a mailbox.
bool IsMailboxItemCommand(const std::string& word);
int RunMailboxItem(const Arguments& arguments);
inline constexpr const char* kWriteUsage =
    "BASE USER --route R [--text FILE] [--attach FILE]... [--answer INDEX] [--number N]";
int RunWrite(const Arguments& arguments);
inline constexpr const char* kReplyUsage =
    "BASE USER INDEX --route R [--text FILE] [--attach FILE]... [--number N]";
int RunReply(const Arguments& arguments);
inline const CommandSpec kWriteCommand = {
    "write", kWriteUsage, 2, SIZE_MAX, "write a pupil mail into a mailbox (a new thread or an answer)",
    {}, nullptr, RunWrite};
inline const CommandSpec kReplyCommand = {
    "reply", kReplyUsage, 3, SIZE_MAX, "write a tutor reply to the pupil mail at INDEX of a mailbox",
    {}, nullptr, RunReply};

inline constexpr const char* kReceiveUsage =
    "--pop HOST[:PORT] --user U (--password P | --password-file F | --oauth-token-file F) --to DIR"
    " [--tls starttls|implicit] [--ca-file F] [--insecure] [--quiet]";
int RunReceive(const Arguments& arguments);
inline constexpr const char* kParseUsage = "FILE --to DIR";
int RunParse(const Arguments& arguments);
inline const CommandSpec kReceiveCommand = {
    "receive", kReceiveUsage, 0, SIZE_MAX, "fetch every waiting message by POP3 into a directory",
    {}, nullptr, RunReceive};
inline const CommandSpec kParseCommand = {
    "parse", kParseUsage, 1, SIZE_MAX, "turn one message file into a mail-data file and attachments",
    {}, nullptr, RunParse};

}  // namespace quorvel::tool
