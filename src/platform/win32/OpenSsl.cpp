// The DLL links a static OpenSSL: the table holds its own functions.
#include "platform/OpenSsl.h"

namespace quorvel::platform {

const OpenSslFunctions* OpenSsl(std::string&) {
  static const OpenSslFunctions functions = [] {
    OpenSslFunctions linked;
#define QUORVEL_LINKED(name) linked.name = &::name;
    QUORVEL_OPENSSL_FUNCTIONS(QUORVEL_LINKED, QUORVEL_LINKED)
#undef QUORVEL_LINKED
    return linked;
  }();
  return &functions;
}

std::vector<std::string> OpenSslLibraryFiles() { return {}; }

}  // namespace quorvel::platform
