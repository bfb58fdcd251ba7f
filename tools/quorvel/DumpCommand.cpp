// quorvel dump FILE: prints an exchange file or a mailbox index for a person;
// exits 1 when the file is damaged or cannot be read.
#include <iostream>

#include "Commands.h"
#include "exchange/ExchangeFileDump.h"
#include "mailbox/IndexDump.h"

namespace quorvel::tool {

int RunDump(const Arguments& arguments) {
  if (arguments.size() != 1) {
    std::cerr << "usage: quorvel dump FILE\n";
    return 2;
  }
  if (IsIndexFile(arguments[0])) return DumpIndexFile(arguments[0], std::cout) ? 0 : 1;
  return exchange::DumpExchangeFile(arguments[0], std::cout) ? 0 : 1;
}

}  // namespace quorvel::tool
