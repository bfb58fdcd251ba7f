// The subcommands of the quorvel tool. Each lives in a file of its own and is
// listed in the table of main.cpp.
#pragma once

#include <string>
#include <vector>

namespace quorvel::tool {

using Arguments = std::vector<std::string>;

struct Command {
  const char* name;
  const char* usage;    // the arguments after the name
  const char* summary;  // one line for the help text
  int (*run)(const Arguments& arguments);
};

// The subcommands.
int RunDump(const Arguments& arguments);
inline constexpr const char* kSendUsage =
    "--smtp HOST[:PORT] --from ADDR --to ADDR [--cc ADDR] [--subject S] [--body-file F] "
    "[--attach FILE]...";
int RunSend(const Arguments& arguments);
inline constexpr const char* kWriteUsage =
    "BASE USER --route R [--text FILE] [--attach FILE]... [--answer INDEX] [--number N]";
int RunWrite(const Arguments& arguments);
inline constexpr const char* kReplyUsage =
    "BASE USER INDEX --route R [--text FILE] [--attach FILE]... [--number N]";
int RunReply(const Arguments& arguments);
inline constexpr const char* kMailboxUsage =
    "BASE USER [show INDEX | extract INDEX DIR | remove INDEX[,INDEX...]]";
int RunMailbox(const Arguments& arguments);
// quorvel mailbox BASE USER show | extract | remove: one item of a mailbox.
bool IsMailboxItemCommand(const std::string& word);
int RunMailboxItem(const Arguments& arguments);

}  // namespace quorvel::tool
