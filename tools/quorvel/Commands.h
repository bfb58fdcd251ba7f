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
// quorvel send --mes: a mail-data file through the library's send exports.
inline constexpr const char* kSendMesUsage =
    "--mes FILE --smtp HOST[:PORT] [--out DIR] [--sent DIR] [--background]";
int RunSendMes(const Arguments& arguments);

inline constexpr const char* kReceiveUsage = "--pop HOST[:PORT] --user U --password P --to DIR";
int RunReceive(const Arguments& arguments);
inline constexpr const char* kParseUsage = "FILE --to DIR";
int RunParse(const Arguments& arguments);

}  // namespace quorvel::tool
