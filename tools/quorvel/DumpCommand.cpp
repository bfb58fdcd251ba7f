// quorvel dump FILE: prints an exchange file for a person; exits 1 when the
// file is damaged or cannot be read.
#include <iostream>

#include "Commands.h"
#include "exchange/ExchangeFileDump.h"

namespace quorvel::tool {

int RunDump(const Arguments& arguments) {
  if (arguments.size() != 1) {
    std::cerr << "usage: quorvel dump FILE\n";
    return 2;
  }
  return exchange::DumpExchangeFile(arguments[0], std::cout) ? 0 : 1;
}

}  // namespace quorvel::tool
