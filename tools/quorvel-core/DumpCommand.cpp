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

int RunDump(const Invocation& invocation) {
  const std::string& path = invocation.operands()[0];
  if (path.ends_with(".mes")) return DumpMailDataFile(path, std::cout) ? kExitOk : kExitBadFile;
  if (IsIndexFile(path)) return DumpIndexFile(path, std::cout) ? kExitOk : kExitBadFile;
  const bool sound = exchange::DumpExchangeFile(path, std::cout, std::cerr);
  return sound ? kExitOk : kExitBadFile;
}

}  // namespace quorvel::tool
