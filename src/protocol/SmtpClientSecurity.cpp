// The part of SmtpClient that a context's transport security adds to the
// greeting: EHLO instead of HELO, STARTTLS when TLS is required (never
// going on in clear when it is not offered), and AUTH. Credentials go out
// only over TLS, and only through the channel's Send, which logs nothing.
#include "protocol/SmtpAuthentication.h"
#include "protocol/SmtpClient.h"

#include "text/LineSafety.h"
#include "platform/Sockets.h"

namespace quorvel {

bool SmtpClient::SayEhlo() {
  if (!channel_.Send("EHLO " + OneLineText(platform::LocalHostName()) + "\r\n")) {
    return SetErrorId(kSmtpSendFailed);
  }
  return ReadReply(250, kSmtpHeloRefused);
}

bool SmtpClient::GreetSecurely() {
  if (!SayEhlo()) return false;
  if (security_.smtpTls == kTlsUpgrade) {
    if (!EhloExtension(reply_, "STARTTLS")) return SetErrorId(kSmtpTlsNotOffered);
    if (!channel_.Send("STARTTLS\r\n")) return SetErrorId(kSmtpSendFailed);
    reporter_.Report(kSmtpAwaitingReply, 0);
    if (!ReadReply(220, kSmtpTlsFailed)) return false;
    if (!channel_.StartTls(host_, security_)) return SetErrorId(kSmtpTlsFailed);
    if (!SayEhlo()) return false;
  }
  if (security_.smtpUser.empty()) return true;
  if (!channel_.IsSecure()) return SetErrorId(kSmtpAuthenticationFailed);
  return Authenticate(reply_);
}

bool SmtpClient::AuthenticationStep(const std::string& line, uint32_t expected) {
  if (!channel_.Send(line + "\r\n")) return SetErrorId(kSmtpSendFailed);
  reporter_.Report(kSmtpAwaitingReply, 0);
  return ReadReply(expected, kSmtpAuthenticationFailed);
}

bool SmtpClient::Authenticate(const std::string& capabilities) {
  const std::string& user = security_.smtpUser;
  if (!security_.smtpOAuthToken.empty()) {
    return AuthenticateWithToken(EhloExtension(capabilities, "AUTH").value_or(""));
  }
  const std::string mechanisms = EhloExtension(capabilities, "AUTH").value_or("");
  if (HasWord(mechanisms, "PLAIN")) {
    return AuthenticationStep("AUTH PLAIN " + PlainResponse(user, security_.smtpPassword), 235);
  }
  if (HasWord(mechanisms, "LOGIN")) {
    return AuthenticationStep("AUTH LOGIN", 334) && AuthenticationStep(Base64Line(user), 334) &&
           AuthenticationStep(Base64Line(security_.smtpPassword), 235);
  }
  return SetErrorId(kSmtpAuthenticationFailed);
}

bool SmtpClient::TokenAccepted(std::string_view mechanism, const std::string& token) {
  const std::string response = OAuthResponse(mechanism, security_.smtpUser, host_, port_, token);
  if (!channel_.Send("AUTH " + std::string(mechanism) + " " + response + "\r\n")) {
    return SetErrorId(kSmtpSendFailed);
  }
  reporter_.Report(kSmtpAwaitingReply, 0);
  if (ReadReply(235, kSmtpNoError)) return true;
  if (reply_.compare(0, 4, "334 ") != 0) return false;
  // A refused token is explained in a challenge that waits for an answer
  // before the final refusal.
  LogTokenRefusal("SMTP", host_, std::string_view(reply_).substr(4));
  if (!channel_.Send(std::string(OAuthRefusalAnswer(mechanism)) + "\r\n")) {
    return SetErrorId(kSmtpSendFailed);
  }
  reporter_.Report(kSmtpAwaitingReply, 0);
  return ReadReply(235, kSmtpNoError);
}

bool SmtpClient::AuthenticateWithToken(const std::string& mechanisms) {
  const std::string_view mechanism = OAuthMechanism(mechanisms, security_.oauthMechanism);
  if (mechanism.empty()) return SetErrorId(kSmtpAuthenticationFailed);
  if (TokenAccepted(mechanism, security_.smtpOAuthToken)) return true;
  if (lastErrorId_ != kSmtpNoError || Stopped() || !channel_.IsOpen()) return false;
  // An expired token: the host may have a new one, tried once.
  const std::string renewed = RenewOAuthToken(security_, TokenUse::Smtp, security_.smtpUser);
  if (!renewed.empty()) {
    security_.smtpOAuthToken = renewed;
    if (TokenAccepted(mechanism, renewed)) return true;
    if (lastErrorId_ != kSmtpNoError) return false;
  }
  return SetErrorId(kSmtpAuthenticationFailed);
}

}  // namespace quorvel
