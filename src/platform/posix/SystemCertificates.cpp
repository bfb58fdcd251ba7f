// The system's store is where the OpenSSL build looks by default
// (/etc/ssl/certs on Debian).
#include "platform/SystemCertificates.h"

namespace quorvel::platform {

bool TrustSystemCertificates(const OpenSslFunctions& openssl, SSL_CTX* context,
                             std::string& failure) {
  if (openssl.SSL_CTX_set_default_verify_paths(context) == 1) return true;
  failure = "the system's certificate store cannot be read";
  return false;
}

}  // namespace quorvel::platform
