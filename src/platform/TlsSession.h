// The TLS client side of a TimeoutSocket, on OpenSSL. The socket stays
// non-blocking: whenever OpenSSL needs the network the session waits through
// the socket's own wait, so the time-out and a posted cancel end a handshake
// or an encrypted read exactly as they end a plain one. OpenSSL's headers
// appear in the platform's TLS files only (TlsSession.cpp, OpenSsl.h and
// its OpenSsl.cpp files, the SystemCertificates files).
#pragma once

#include <memory>
#include <string>

#include "platform/Sockets.h"

namespace quorvel::platform {

class TlsSession {
 public:
  // Runs the handshake on the connected descriptor `fd` of `socket`: TLS 1.2
  // at least, the certificate checked against the system's store and the CA
  // file and matched with the host name, unless verification is off. Empty,
  // with `failure` saying why, when it does not succeed.
  static std::unique_ptr<TlsSession> Start(TimeoutSocket& socket, int fd,
                                           const TlsOptions& options, std::string& failure);
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // As TimeoutSocket's Send and Receive.
  int Write(TimeoutSocket& socket, const void* data, int length);
  int Read(TimeoutSocket& socket, void* buffer, int capacity);

 private:
  struct Handles;
  explicit TlsSession(std::unique_ptr<Handles> handles);
  // Waits for what OpenSSL asked for after a call that answered `result`;
  // false when the call failed for good (or the wait did).
  bool WaitAfter(TimeoutSocket& socket, int result);

  std::unique_ptr<Handles> handles_;
};

}  // namespace quorvel::platform
