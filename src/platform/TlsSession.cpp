// One SSL_CTX per trust setting, kept for the process's life: loading the
// system's certificate store costs more than a handshake, and a client
// makes one connection per delivery or receive. (A CA file is therefore
// read once; a changed file takes a new process.) The OpenSSL error queue is
// per thread and cleared before every call, so a failure reported here is
// this call's own. Every OpenSSL call goes through the table of
// platform/OpenSsl.h; a process where OpenSSL cannot be loaded fails its
// handshakes, saying so.
#include "platform/TlsSession.h"

#include <map>
#include <mutex>
#include <utility>

#include "platform/OpenSsl.h"
#include "platform/SystemCertificates.h"

namespace quorvel::platform {

struct TlsSession::Handles {
  explicit Handles(const OpenSslFunctions& functions) : openssl(functions) {}
  ~Handles() {
    if (ssl != nullptr) openssl.SSL_free(ssl);
  }
  const OpenSslFunctions& openssl;
  SSL* ssl = nullptr;
};

namespace {

std::string OpenSslFailure(const OpenSslFunctions& openssl, const char* what) {
  const unsigned long code = openssl.ERR_get_error();
  if (code == 0) return what;
  char text[256];
  openssl.ERR_error_string_n(code, text, sizeof text);
  return std::string(what) + ": " + text;
}

bool IsAddress(const OpenSslFunctions& openssl, const std::string& host) {
  ASN1_OCTET_STRING* address = openssl.a2i_IPADDRESS(host.c_str());
  if (address == nullptr) return false;
  openssl.ASN1_OCTET_STRING_free(address);
  return true;
}

// The trust settings; false, with `failure`, when the CA file is unusable.
bool Configure(const OpenSslFunctions& openssl, SSL_CTX* context, const TlsOptions& options,
               std::string& failure) {
  // TLS 1.2 at least, whatever the OpenSSL build or its configuration
  // file would otherwise allow (SSL_CTX_set_min_proto_version).
  openssl.SSL_CTX_ctrl(context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
  // A server that closes without ending the session is a closed peer, as on
  // a plain socket, not a failed read.
  openssl.SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
  if (!options.verify) {
    openssl.SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
    return true;
  }
  openssl.SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  if (!TrustSystemCertificates(openssl, context, failure)) {
    failure = OpenSslFailure(openssl, failure.c_str());
    return false;
  }
  if (!options.caFile.empty() &&
      openssl.SSL_CTX_load_verify_locations(context, options.caFile.c_str(), nullptr) != 1) {
    failure = OpenSslFailure(openssl, ("the CA file " + options.caFile + " cannot be read").c_str());
    return false;
  }
  return true;
}

// The shared context of the trust setting; null, with `failure`, when it
// cannot be set up (nothing is kept then, so a CA file that appears later
// is read).
SSL_CTX* SharedContext(const OpenSslFunctions& openssl, const TlsOptions& options,
                       std::string& failure) {
  static std::mutex lock;
  static auto* contexts = new std::map<std::pair<std::string, bool>, SSL_CTX*>;
  const auto key = std::make_pair(options.verify ? options.caFile : std::string(), options.verify);
  std::lock_guard hold(lock);
  if (const auto found = contexts->find(key); found != contexts->end()) return found->second;
  SSL_CTX* context = openssl.SSL_CTX_new(openssl.TLS_client_method());
  if (context == nullptr) {
    failure = OpenSslFailure(openssl, "no TLS context");
    return nullptr;
  }
  if (!Configure(openssl, context, options, failure)) {
    openssl.SSL_CTX_free(context);
    return nullptr;
  }
  contexts->emplace(key, context);
  return context;
}

}  // namespace

TlsSession::TlsSession(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
TlsSession::~TlsSession() = default;

std::unique_ptr<TlsSession> TlsSession::Start(TimeoutSocket& socket, int fd,
                                              const TlsOptions& options, std::string& failure) {
  const OpenSslFunctions* loaded = OpenSsl(failure);
  if (loaded == nullptr) return nullptr;
  const OpenSslFunctions& openssl = *loaded;
  openssl.ERR_clear_error();
  SSL_CTX* context = SharedContext(openssl, options, failure);
  if (context == nullptr) return nullptr;
  auto handles = std::make_unique<Handles>(openssl);
  handles->ssl = openssl.SSL_new(context);
  if (handles->ssl == nullptr || openssl.SSL_set_fd(handles->ssl, fd) != 1) {
    failure = OpenSslFailure(openssl, "no TLS connection");
    return nullptr;
  }
  SSL* ssl = handles->ssl;
  // An address is matched against the certificate's addresses, a name
  // against its names; only a name goes out as the server name
  // (SSL_set_tlsext_host_name).
  if (!IsAddress(openssl, options.hostName)) {
    openssl.SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                     const_cast<char*>(options.hostName.c_str()));
  }
  if (options.verify && openssl.SSL_set1_host(ssl, options.hostName.c_str()) != 1) {
    failure = OpenSslFailure(openssl, "the host name cannot be checked");
    return nullptr;
  }
  std::unique_ptr<TlsSession> session(new TlsSession(std::move(handles)));
  for (;;) {
    openssl.ERR_clear_error();
    const int result = openssl.SSL_connect(ssl);
    if (result == 1) return session;
    if (!session->WaitAfter(socket, result)) break;
  }
  if (!socket.HasHandle()) {
    failure = "the TLS handshake was abandoned (time-out or cancel)";
  } else if (const long verified = openssl.SSL_get_verify_result(ssl); verified != X509_V_OK) {
    failure = std::string("the server's certificate is not trusted: ") +
              openssl.X509_verify_cert_error_string(verified);
  } else {
    failure = OpenSslFailure(openssl, "the TLS handshake failed");
  }
  return nullptr;
}

bool TlsSession::WaitAfter(TimeoutSocket& socket, int result) {
  switch (handles_->openssl.SSL_get_error(handles_->ssl, result)) {
    case SSL_ERROR_WANT_READ: return socket.WaitUntilReadable();
    case SSL_ERROR_WANT_WRITE: return socket.WaitUntilWritable();
    default: return false;
  }
}

int TlsSession::Write(TimeoutSocket& socket, const void* data, int length) {
  const char* next = static_cast<const char*>(data);
  int left = length;
  while (left > 0) {
    handles_->openssl.ERR_clear_error();
    const int written = handles_->openssl.SSL_write(handles_->ssl, next, left);
    if (written > 0) {
      next += written;
      left -= written;
    } else if (!WaitAfter(socket, written)) {
      return kSocketError;
    }
  }
  return length;
}

int TlsSession::Read(TimeoutSocket& socket, void* buffer, int capacity) {
  for (;;) {
    handles_->openssl.ERR_clear_error();
    const int got = handles_->openssl.SSL_read(handles_->ssl, buffer, capacity);
    if (got > 0) return got;
    const int error = handles_->openssl.SSL_get_error(handles_->ssl, got);
    if (error == SSL_ERROR_ZERO_RETURN) return 0;
    if (!WaitAfter(socket, got)) return kSocketError;
  }
}

}  // namespace quorvel::platform
