// A context's transport security, an extension a host opts into: TLS for its
// SMTP deliveries and POP receives, SMTP credentials, and the trust in server
// certificates. The SMTP and POP clients take it from the calling thread's
// context, so it reaches every delivery and receive of the context, the
// exchange layer's routes and accounts included. A context that never sets
// it speaks the plain dialogues.
#pragma once

#include <cstdint>
#include <string>

#include "quorvel/Handles.h"

namespace quorvel {

struct ThreadContext;

enum TlsMode : uint32_t {
  kTlsNone = 0,      // the plain dialogue
  kTlsUpgrade = 1,   // STARTTLS (SMTP) or STLS (POP3), required
  kTlsImplicit = 2,  // TLS from the first byte (ports 465 and 995)
};

struct TransportSecurity {
  uint32_t smtpTls = kTlsNone;
  std::string smtpUser;  // empty: no authentication
  std::string smtpPassword;
  std::string smtpOAuthToken;  // not empty: OAUTHBEARER or XOAUTH2 instead of a password
  uint32_t popTls = kTlsNone;
  std::string popOAuthToken;  // not empty: AUTH OAUTHBEARER or XOAUTH2 instead of the password
  // Once the host has set the POP security, USER/PASS go in clear only when
  // it allowed that explicitly.
  bool popSecuritySet = false;
  bool popClearTextAllowed = false;
  std::string caFile;  // trusted besides the system's store
  bool verifyCertificates = true;
  // The SASL mechanism for tokens; empty: the best offered (OAUTHBEARER
  // before XOAUTH2).
  std::string oauthMechanism;
  // Asked for a new token when a server refuses one.
  OAuthTokenCallback tokenCallback = nullptr;
  uint32_t tokenUserValue = 0;

  // True when the SMTP client leaves its plain dialogue.
  bool SmtpExtended() const { return smtpTls != kTlsNone || !smtpUser.empty(); }
  // True when the POP client must not send USER/PASS over clear text.
  bool PopNeedsTlsForLogin() const { return popSecuritySet && !popClearTextAllowed; }
  // True when the POP client asks for the server's capabilities and may log
  // in with SASL.
  bool PopExtended() const { return popSecuritySet || !popOAuthToken.empty(); }
};

// Which of the context's tokens a refused one was.
enum class TokenUse { Smtp, Pop };

// The calling thread's settings; the defaults without a context.
TransportSecurity CallingTransportSecurity();

// After `security`'s token for `use` was refused: the host's new token for
// `user` from its callback, also stored in the calling thread's context so
// that the later connections of the context take it; empty when there is
// no callback, or it gave no token or the refused one again.
std::string RenewOAuthToken(const TransportSecurity& security, TokenUse use,
                            const std::string& user);

// The setters of the extension exports. Each resets the last error; a mode
// above kTlsImplicit is refused (false, nothing changed). Without a context
// they change nothing and answer true.
bool SetSmtpSecurity(ThreadContext* context, uint32_t tlsMode, const char* user,
                     const char* password, const char* oauthToken);
bool SetPopSecurity(ThreadContext* context, uint32_t tlsMode, bool allowClearText);
// The POP token (null or empty: the password again). Resets the last error.
bool SetPopOAuthToken(ThreadContext* context, const char* oauthToken);
bool SetOAuthTokenCallback(ThreadContext* context, OAuthTokenCallback callback,
                           uint32_t userValue);
// A null or empty CA file trusts the system's store alone.
bool SetTlsTrust(ThreadContext* context, const char* caFile, bool verifyCertificates);

}  // namespace quorvel
