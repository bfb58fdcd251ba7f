#include "frame/TransportSecurity.h"

#include "frame/ContextTable.h"
#include "frame/ErrorCodes.h"
#include "frame/ThreadContext.h"

namespace quorvel {

namespace {

std::string Text(const char* text) { return text == nullptr ? std::string() : std::string(text); }

// Resets the last error; false when the mode is not one of the three.
bool Accepts(ThreadContext* context, uint32_t tlsMode) {
  context->lastError = kErrorNone;
  return tlsMode <= kTlsImplicit;
}

}  // namespace

TransportSecurity CallingTransportSecurity() {
  const ThreadContext* context = CallingContext();
  return context == nullptr ? TransportSecurity() : context->security;
}

bool SetSmtpSecurity(ThreadContext* context, uint32_t tlsMode, const char* user,
                     const char* password, const char* oauthToken) {
  if (context == nullptr) return true;
  if (!Accepts(context, tlsMode)) return false;
  TransportSecurity& security = context->security;
  security.smtpTls = tlsMode;
  security.smtpUser = Text(user);
  security.smtpPassword = Text(password);
  security.smtpOAuthToken = Text(oauthToken);
  return true;
}

bool SetPopSecurity(ThreadContext* context, uint32_t tlsMode, bool allowClearText) {
  if (context == nullptr) return true;
  if (!Accepts(context, tlsMode)) return false;
  TransportSecurity& security = context->security;
  security.popTls = tlsMode;
  security.popSecuritySet = true;
  security.popClearTextAllowed = allowClearText;
  return true;
}

bool SetTlsTrust(ThreadContext* context, const char* caFile, bool verifyCertificates) {
  if (context == nullptr) return true;
  context->lastError = kErrorNone;
  context->security.caFile = Text(caFile);
  context->security.verifyCertificates = verifyCertificates;
  return true;
}

}  // namespace quorvel
