// TLS for a build without OpenSSL (a cross build that has none): every
// handshake fails, saying why, so a host that asks for TLS never talks in
// clear. The plain dialogues are untouched.
#include "platform/TlsSession.h"

namespace quorvel::platform {

struct TlsSession::Handles {};

TlsSession::TlsSession(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
TlsSession::~TlsSession() = default;

std::unique_ptr<TlsSession> TlsSession::Start(TimeoutSocket&, int, const TlsOptions&,
                                              std::string& failure) {
  failure = "this build of the library has no TLS (built without OpenSSL)";
  return nullptr;
}

bool TlsSession::WaitAfter(TimeoutSocket&, int) { return false; }
int TlsSession::Write(TimeoutSocket&, const void*, int) { return kSocketError; }
int TlsSession::Read(TimeoutSocket&, void*, int) { return kSocketError; }

}  // namespace quorvel::platform
