// The machine's and the user's trusted roots: every certificate of the
// "ROOT" system store goes into the context's store. A certificate OpenSSL
// cannot parse is passed over; an empty store is not a failure (the host
// may name its own CA file).
#include <windows.h>
#include <wincrypt.h>

#include "platform/SystemCertificates.h"

namespace quorvel::platform {

bool TrustSystemCertificates(const OpenSslFunctions& openssl, SSL_CTX* context,
                             std::string& failure) {
  HCERTSTORE roots = ::CertOpenSystemStoreW(0, L"ROOT");
  if (roots == nullptr) {
    failure = "the system's certificate store cannot be read";
    return false;
  }
  X509_STORE* trusted = openssl.SSL_CTX_get_cert_store(context);
  const CERT_CONTEXT* next = nullptr;
  while ((next = ::CertEnumCertificatesInStore(roots, next)) != nullptr) {
    const unsigned char* bytes = next->pbCertEncoded;
    X509* certificate = openssl.d2i_X509(nullptr, &bytes, static_cast<long>(next->cbCertEncoded));
    if (certificate == nullptr) continue;
    openssl.X509_STORE_add_cert(trusted, certificate);  // a duplicate is refused harmlessly
    openssl.X509_free(certificate);
  }
  ::CertCloseStore(roots, 0);
  return true;
}

}  // namespace quorvel::platform
