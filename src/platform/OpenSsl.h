// The OpenSSL functions the TLS client calls, as one table of addresses.
// On POSIX the library does not link OpenSSL: a process that never asks for
// TLS does not pay for loading libssl and libcrypto. They are loaded on the
// first TLS connection, once per process, and stay loaded. The Windows DLL
// links a static OpenSSL and fills the table with its own functions.
// Macros over SSL_ctrl and SSL_CTX_ctrl are written out as those calls.
#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <string>
#include <vector>

// Every function of the table, with the library that exports it.
#define QUORVEL_OPENSSL_FUNCTIONS(CRYPTO, SSL)                                                   \
  CRYPTO(ERR_get_error)                                                                          \
  CRYPTO(ERR_error_string_n)                                                                     \
  CRYPTO(ERR_clear_error)                                                                        \
  CRYPTO(a2i_IPADDRESS)                                                                          \
  CRYPTO(ASN1_OCTET_STRING_free)                                                                 \
  CRYPTO(X509_verify_cert_error_string)                                                          \
  CRYPTO(d2i_X509)                                                                               \
  CRYPTO(X509_free)                                                                              \
  CRYPTO(X509_STORE_add_cert)                                                                    \
  SSL(TLS_client_method)                                                                         \
  SSL(SSL_CTX_new)                                                                               \
  SSL(SSL_CTX_free)                                                                              \
  SSL(SSL_CTX_ctrl)                                                                              \
  SSL(SSL_CTX_set_options)                                                                       \
  SSL(SSL_CTX_set_verify)                                                                        \
  SSL(SSL_CTX_load_verify_locations)                                                             \
  SSL(SSL_CTX_set_default_verify_paths)                                                          \
  SSL(SSL_CTX_get_cert_store)                                                                    \
  SSL(SSL_new)                                                                                   \
  SSL(SSL_free)                                                                                  \
  SSL(SSL_set_fd)                                                                                \
  SSL(SSL_ctrl)                                                                                  \
  SSL(SSL_set1_host)                                                                             \
  SSL(SSL_connect)                                                                               \
  SSL(SSL_get_verify_result)                                                                     \
  SSL(SSL_get_error)                                                                             \
  SSL(SSL_write)                                                                                 \
  SSL(SSL_read)

namespace quorvel::platform {

struct OpenSslFunctions {
#define QUORVEL_OPENSSL_MEMBER(name) decltype(&::name) name = nullptr;
  QUORVEL_OPENSSL_FUNCTIONS(QUORVEL_OPENSSL_MEMBER, QUORVEL_OPENSSL_MEMBER)
#undef QUORVEL_OPENSSL_MEMBER
};

// The functions, loaded on the first call (from any thread; later calls
// answer at once). Null, with `failure` saying that OpenSSL could not be
// loaded and why, when they cannot be had; every later call answers the same.
const OpenSslFunctions* OpenSsl(std::string& failure);

// The files OpenSsl loads, libcrypto first; none where OpenSSL is linked in.
std::vector<std::string> OpenSslLibraryFiles();

}  // namespace quorvel::platform
