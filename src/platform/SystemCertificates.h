// The certificates the system trusts, for verifying a TLS server: the
// default paths of the OpenSSL build on POSIX, the "ROOT" certificate store
// on Windows (a cross-built OpenSSL has no default path there).
#pragma once

#include <string>

#include "platform/OpenSsl.h"

namespace quorvel::platform {

// Adds the system's trusted certificates to `context`; false, with
// `failure` saying why, when the store cannot be read.
bool TrustSystemCertificates(const OpenSslFunctions& openssl, SSL_CTX* context,
                             std::string& failure);

}  // namespace quorvel::platform
