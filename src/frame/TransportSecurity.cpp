#include "frame/TransportSecurity.h"

#include <mutex>
#include <vector>

#include "frame/ContextTable.h"
#include "frame/ErrorCodes.h"
#include "frame/ThreadContext.h"

namespace quorvel {

namespace {

std::string Text(const char* text) { return text == nullptr ? std::string() : std::string(text); }

// A background worker renews a token in the context it shares with its
// host, whose thread may be setting the security meanwhile.
std::mutex& SecurityLock() {
  static std::mutex lock;
  return lock;
}

// Room the host's callback has for a token: those of the large services
// take a few KiB.
constexpr uint32_t kTokenCapacity = 16 * 1024;

// Resets the last error; false when the mode is not one of the three.
bool Accepts(ThreadContext* context, uint32_t tlsMode) {
  context->lastError = kErrorNone;
  return tlsMode <= kTlsImplicit;
}

}  // namespace

TransportSecurity CallingTransportSecurity() {
  const ThreadContext* context = CallingContext();
  if (context == nullptr) return TransportSecurity();
  const std::lock_guard<std::mutex> guard(SecurityLock());
  return context->security;
}

std::string RenewOAuthToken(const TransportSecurity& security, TokenUse use,
                            const std::string& user) {
  if (security.tokenCallback == nullptr) return std::string();
  std::vector<char> buffer(kTokenCapacity, '\0');
  const uint32_t length =
      security.tokenCallback(user.c_str(), buffer.data(), kTokenCapacity, security.tokenUserValue);
  if (length == 0 || length >= kTokenCapacity) return std::string();
  std::string token(buffer.data(), length);
  const std::string& refused = use == TokenUse::Smtp ? security.smtpOAuthToken
                                                      : security.popOAuthToken;
  if (token == refused) return std::string();
  if (ThreadContext* context = CallingContext()) {
    const std::lock_guard<std::mutex> guard(SecurityLock());
    (use == TokenUse::Smtp ? context->security.smtpOAuthToken : context->security.popOAuthToken) =
        token;
  }
  return token;
}

bool SetSmtpSecurity(ThreadContext* context, uint32_t tlsMode, const char* user,
                     const char* password, const char* oauthToken) {
  if (context == nullptr) return true;
  if (!Accepts(context, tlsMode)) return false;
  const std::lock_guard<std::mutex> guard(SecurityLock());
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
  const std::lock_guard<std::mutex> guard(SecurityLock());
  TransportSecurity& security = context->security;
  security.popTls = tlsMode;
  security.popSecuritySet = true;
  security.popClearTextAllowed = allowClearText;
  return true;
}

bool SetTlsTrust(ThreadContext* context, const char* caFile, bool verifyCertificates) {
  if (context == nullptr) return true;
  context->lastError = kErrorNone;
  const std::lock_guard<std::mutex> guard(SecurityLock());
  context->security.caFile = Text(caFile);
  context->security.verifyCertificates = verifyCertificates;
  return true;
}

bool SetPopOAuthToken(ThreadContext* context, const char* oauthToken) {
  if (context == nullptr) return true;
  context->lastError = kErrorNone;
  const std::lock_guard<std::mutex> guard(SecurityLock());
  context->security.popOAuthToken = Text(oauthToken);
  return true;
}

bool SetOAuthTokenCallback(ThreadContext* context, OAuthTokenCallback callback,
                           uint32_t userValue) {
  if (context == nullptr) return true;
  context->lastError = kErrorNone;
  const std::lock_guard<std::mutex> guard(SecurityLock());
  context->security.tokenCallback = callback;
  context->security.tokenUserValue = userValue;
  return true;
}

}  // namespace quorvel
