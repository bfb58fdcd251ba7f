// quorvel dump FILE: prints an exchange file or a mail-data file (".mes") for
// a person; exits 1 when the file is damaged or cannot be read.
#include <iostream>

#include "Commands.h"
#include "exchange/ExchangeFileDump.h"
#include "mail/MailDataDump.h"

namespace quorvel::tool {

int RunDump(const Arguments& arguments) {
  if (arguments.size() != 1) {
    std::cerr << "usage: quorvel dump FILE\n";
    return 2;
  }
  if (arguments[0].ends_with(".mes")) return DumpMailDataFile(arguments[0], std::cout) ? 0 : 1;
  return exchange::DumpExchangeFile(arguments[0], std::cout) ? 0 : 1;
}

}  // namespace quorvel::tool
