// quorvel dump FILE: prints an exchange file, a mailbox index or a mail-data
// file (".mes") for a person on standard output; what is wrong goes to
// standard error, and a damaged or unreadable file exits kExitBadFile.
#include <iostream>

#include "Commands.h"
#include "ExitCodes.h"
#include "exchange/ExchangeFileDump.h"
#include "mail/MailDataDump.h"
#include "mailbox/IndexDump.h"

namespace quorvel::tool {

namespace {

int RunDump(const Invocation& invocation) {
  const std::string& path = invocation.operands()[0];
  if (path.ends_with(".mes")) return DumpMailDataFile(path, std::cout) ? kExitOk : kExitBadFile;
  if (IsIndexFile(path)) return DumpIndexFile(path, std::cout) ? kExitOk : kExitBadFile;
  const bool sound = exchange::DumpExchangeFile(path, std::cout, std::cerr);
  return sound ? kExitOk : kExitBadFile;
}

}  // namespace

const CommandSpec kDumpCommand = {
    "dump", "FILE", 1, 1,
    "print an exchange file, a mailbox index or a \".mes\" mail-data file",
    {},
    RunDump,
    nullptr,
    "An exchange file (\".qv6\", packed or not) shows its packing, length\n"
    "trailer, header, CRC and the tree of values; a mailbox index\n"
    "(\"Mailbox.inv\") its head, every entry and the outbox queue; a \".mes\"\n"
    "file its record. A damaged or unreadable file exits 1, and standard error\n"
    "says what is wrong and at which offset.\n",
};

}  // namespace quorvel::tool
