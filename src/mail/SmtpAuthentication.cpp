#include "mail/SmtpAuthentication.h"

#include <cctype>
#include <cstdint>

#include "mime/Base64.h"

namespace quorvel {

namespace {

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
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

}  // namespace quorvel
