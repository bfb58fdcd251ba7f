// The part of PopClient's login that a context's transport security or
// OAuth 2 token adds: the server's capabilities (CAPA, RFC 2449) and SASL
// (AUTH, RFC 5034) with PLAIN, OAUTHBEARER or XOAUTH2. USER/PASS stay for
// servers that offer no SASL, and are all there is in the plain dialogue.
#include <cctype>

#include "protocol/SmtpAuthentication.h"
#include "protocol/PopClient.h"

namespace quorvel {

namespace {

// The longest AUTH command that may carry its initial response.
constexpr size_t kLongestAuthCommand = 255;

// A multi-line reply ends with the line "."; a refusal is one line.
bool CapabilitiesComplete(std::string_view reply) {
  if (reply.compare(0, 1, "-") == 0) return LineIsComplete(reply);
  return reply.size() >= 5 && reply.substr(reply.size() - 5) == "\r\n.\r\n";
}

// The words after "SASL" on a line of the capabilities, in upper case.
std::string SaslLine(std::string_view reply) {
  size_t start = reply.find('\n');  // after the status line
  while (start != std::string_view::npos && start + 1 < reply.size()) {
    const size_t end = reply.find('\n', start + 1);
    std::string_view line = reply.substr(start + 1, end == std::string_view::npos ? end
                                                                                  : end - start - 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string upper(line);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.compare(0, 5, "SASL ") == 0) return upper.substr(5);
    start = end;
  }
  return std::string();
}

}  // namespace

bool PopClient::LogIn() {
  if (!security_.PopExtended()) return LogInWithPassword();
  const bool withToken = !security_.popOAuthToken.empty();
  if (withToken && !channel_.IsSecure()) return SetError(kPopClearTextRefused);
  std::string mechanisms;
  if (!AskMechanisms(mechanisms)) return false;
  if (withToken) return LogInWithToken(mechanisms);
  if (!HasWord(mechanisms, "PLAIN")) return LogInWithPassword();
  if (SaslLogin("PLAIN", PlainResponse(user_, password_), "*")) return true;
  return lastError_ == kPopNoError ? SetError(kPopPasswordRefused) : false;
}

bool PopClient::AskMechanisms(std::string& mechanisms) {
  if (!channel_.Send("CAPA\r\n")) return SetError(kPopSendFailed);
  reporter_.Report(kPopAwaitingReply, 0);
  const CommandChannel::Received received = channel_.ReadReply(reply_, CapabilitiesComplete);
  if (received == CommandChannel::Received::Failed) return SetError(kPopReceiveFailed);
  if (received == CommandChannel::Received::Closed) return SetError(kPopServerClosed);
  mechanisms = SaslLine(reply_);  // none in a refusal, which is one line
  return true;
}

bool PopClient::LogInWithToken(const std::string& mechanisms) {
  const std::string_view mechanism = OAuthMechanism(mechanisms, security_.oauthMechanism);
  if (mechanism.empty()) return SetError(kPopNoTokenMechanism);
  const auto accepted = [&](const std::string& token) {
    return SaslLogin(mechanism, OAuthResponse(mechanism, user_, host_, port_, token),
                     OAuthRefusalAnswer(mechanism));
  };
  if (accepted(security_.popOAuthToken)) return true;
  if (lastError_ != kPopNoError || !channel_.IsOpen()) return false;
  // An expired token: the host may have a new one, tried once.
  const std::string renewed = RenewOAuthToken(security_, TokenUse::Pop, user_);
  if (!renewed.empty()) {
    security_.popOAuthToken = renewed;
    if (accepted(renewed)) return true;
    if (lastError_ != kPopNoError) return false;
  }
  return SetError(kPopTokenRefused);
}

bool PopClient::SaslLogin(std::string_view mechanism, const std::string& response,
                          std::string_view refusalAnswer) {
  const std::string command = "AUTH " + std::string(mechanism);
  if (command.size() + 1 + response.size() + 2 <= kLongestAuthCommand) {
    if (!Command(command + " " + response + "\r\n", kPopNoError)) return false;
  } else {
    // Too long for the command line: the response answers the server's
    // empty challenge.
    if (!Command(command + "\r\n", kPopNoError)) return false;
    if (reply_.compare(0, 1, "+") != 0 || reply_.compare(0, 3, "+OK") == 0) return false;
    if (!Command(response + "\r\n", kPopNoError)) return false;
  }
  if (reply_.compare(0, 3, "+OK") == 0) return true;
  if (reply_.compare(0, 1, "+") != 0) return false;
  // A challenge after the response explains a refused token and waits for
  // an answer before the final refusal.
  if (mechanism != "PLAIN") LogTokenRefusal("POP", host_, std::string_view(reply_).substr(2));
  Command(std::string(refusalAnswer) + "\r\n", kPopNoError);
  return false;
}

}  // namespace quorvel
