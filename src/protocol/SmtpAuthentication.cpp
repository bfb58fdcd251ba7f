#include "protocol/SmtpAuthentication.h"

#include <cctype>
#include <cstdint>
#include <vector>

#include "frame/LogEvents.h"
#include "text/LineSafety.h"
#include "text/Base64.h"

namespace quorvel {

namespace {

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// A user name as a SASL "saslname" (RFC 5801).
std::string SaslName(const std::string& user) {
  std::string name;
  for (const char c : user) {
    if (c == ',') {
      name += "=2C";
    } else if (c == '=') {
      name += "=3D";
    } else {
      name += c;
    }
  }
  return name;
}

}  // namespace

std::optional<std::string> EhloExtension(std::string_view reply, std::string_view keyword) {
  const std::string wanted = Upper(keyword);
  // The first line names the server, the others are extensions.
  const size_t firstEnd = reply.find('\n');
  size_t start = firstEnd == std::string_view::npos ? reply.size() : firstEnd + 1;
  while (start < reply.size()) {
    const size_t end = reply.find('\n', start);
    std::string_view line = reply.substr(start, end == std::string_view::npos ? end : end - start);
    start = end == std::string_view::npos ? reply.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() < 4) continue;
    const std::string text = Upper(line.substr(4));  // after "250-" or "250 "
    const size_t blank = text.find(' ');
    if (text.substr(0, blank) != wanted) continue;
    return blank == std::string::npos ? std::string() : text.substr(blank + 1);
  }
  return std::nullopt;
}

bool HasWord(std::string_view words, std::string_view word) {
  size_t start = 0;
  while (start <= words.size()) {
    const size_t end = words.find(' ', start);
    if (words.substr(start, end == std::string_view::npos ? end : end - start) == word) return true;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return false;
}

std::string Base64Line(std::string_view bytes) {
  std::string encoded;
  Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), encoded);
  std::erase_if(encoded, [](char c) { return c == '\r' || c == '\n'; });
  return encoded;
}

std::string PlainResponse(const std::string& user, const std::string& password) {
  return Base64Line(std::string(1, '\0') + user + '\0' + password);
}

std::string XOAuth2Response(const std::string& user, const std::string& token) {
  return Base64Line("user=" + user + "\x01" "auth=Bearer " + token + "\x01\x01");
}

std::string OAuthBearerResponse(const std::string& user, const std::string& host, uint16_t port,
                                const std::string& token) {
  return Base64Line("n,a=" + SaslName(user) + ",\x01" "host=" + host + "\x01" "port=" +
                    std::to_string(port) + "\x01" "auth=Bearer " + token + "\x01\x01");
}

std::string_view OAuthMechanism(std::string_view offered, std::string_view wanted) {
  for (const std::string_view mechanism : {"OAUTHBEARER", "XOAUTH2"}) {
    if (mechanism == wanted && HasWord(offered, mechanism)) return mechanism;
  }
  if (!wanted.empty()) return {};
  if (HasWord(offered, "OAUTHBEARER")) return "OAUTHBEARER";
  if (HasWord(offered, "XOAUTH2")) return "XOAUTH2";
  return {};
}

std::string OAuthResponse(std::string_view mechanism, const std::string& user,
                          const std::string& host, uint16_t port, const std::string& token) {
  return mechanism == "OAUTHBEARER" ? OAuthBearerResponse(user, host, port, token)
                                    : XOAuth2Response(user, token);
}

std::string_view OAuthRefusalAnswer(std::string_view mechanism) {
  return mechanism == "OAUTHBEARER" ? "AQ==" : "";
}

void LogTokenRefusal(std::string_view protocol, const std::string& host, std::string_view challenge) {
  const size_t end = challenge.find_first_of("\r\n");
  if (end != std::string_view::npos) challenge = challenge.substr(0, end);
  std::vector<uint8_t> bytes(challenge.size() / 4 * 3 + 3);
  size_t length = 0;
  Base64Decode(challenge, bytes.data(), bytes.size(), length);
  const std::string explanation(reinterpret_cast<const char*>(bytes.data()), length);
  SetLogValue(kKeyMessage, std::string(protocol) + " server " + host +
                               " refused the OAuth 2 token: " + OneLineText(explanation));
  WriteLogEvent(kEventTokenRefused);
}

}  // namespace quorvel
