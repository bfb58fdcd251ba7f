// A context's transport security, an extension a host opts into: TLS for its
// SMTP deliveries and POP receives, SMTP credentials, and the trust in server
// certificates. The SMTP and POP clients take it from the calling thread's
// context, so it reaches every delivery and receive of the context, the
// exchange layer's routes and accounts included. A context that never sets
// it speaks the plain dialogues.
#pragma once

#include <cstdint>
#include <string>

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
  std::string smtpOAuthToken;  // not empty: XOAUTH2 instead of a password
  uint32_t popTls = kTlsNone;
  // Once the host has set the POP security, USER/PASS go in clear only when
  // it allowed that explicitly.
  bool popSecuritySet = false;
  bool popClearTextAllowed = false;
  std::string caFile;  // trusted besides the system's store
  bool verifyCertificates = true;

  // True when the SMTP client leaves its plain dialogue.
  bool SmtpExtended() const { return smtpTls != kTlsNone || !smtpUser.empty(); }
  // True when the POP client must not send USER/PASS over clear text.
  bool PopNeedsTlsForLogin() const { return popSecuritySet && !popClearTextAllowed; }
};

// The calling thread's settings; the defaults without a context.
TransportSecurity CallingTransportSecurity();

// The setters of the extension exports. Each resets the last error; a mode
// above kTlsImplicit is refused (false, nothing changed). Without a context
// they change nothing and answer true.
bool SetSmtpSecurity(ThreadContext* context, uint32_t tlsMode, const char* user,
                     const char* password, const char* oauthToken);
bool SetPopSecurity(ThreadContext* context, uint32_t tlsMode, bool allowClearText);
// A null or empty CA file trusts the system's store alone.
bool SetTlsTrust(ThreadContext* context, const char* caFile, bool verifyCertificates);

}  // namespace quorvel
