// Headers are read the way real mail writes them: folded over several lines,
// names in any case, parameters quoted or not, in any order.
#include "message/MimeHeaders.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "message/MimeText.h"

namespace quorvel {

namespace {

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The value at `at`: a quoted string (escapes undone) or a token up to ";".
std::string ReadValue(std::string_view text, size_t& at) {
  std::string value;
  if (at < text.size() && text[at] == '"') {
    for (++at; at < text.size() && text[at] != '"'; ++at) {
      if (text[at] == '\\' && at + 1 < text.size()) ++at;
      value += text[at];
    }
    if (at < text.size()) ++at;
    return value;
  }
  const size_t end = std::min(text.find(';', at), text.size());
  value = std::string(Trim(text.substr(at, end - at)));
  at = end;
  return value;
}

}  // namespace

Entity SplitEntity(std::string_view text) {
  if (text.substr(0, 1) == "\n") return {{}, text.substr(1)};
  if (text.substr(0, 2) == "\r\n") return {{}, text.substr(2)};
  for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
    size_t next = at + 1;
    if (next < text.size() && text[next] == '\r') ++next;
    if (next < text.size() && text[next] == '\n') return {text.substr(0, at + 1), text.substr(next + 1)};
  }
  return {text, {}};
}

MimeHeaders::MimeHeaders(std::string_view block) {
  size_t at = 0;
  while (at < block.size() && fields_.size() < kMaxHeaderFields) {
    size_t end = block.find('\n', at);
    if (end == std::string_view::npos) end = block.size();
    std::string_view line = block.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at = end + 1;
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      if (!fields_.empty() && fields_.back().second.size() < kMaxHeaderValue) {
        std::string& value = fields_.back().second;
        value.append(line.substr(0, kMaxHeaderValue - value.size()));
      }
      continue;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;
    fields_.emplace_back(LowerCase(Trim(line.substr(0, colon))),
                         std::string(line.substr(colon + 1, kMaxHeaderValue)));
  }
}

const std::string* MimeHeaders::Find(std::string_view name) const {
  const std::string wanted = LowerCase(name);
  for (const auto& [fieldName, value] : fields_) {
    if (fieldName == wanted) return &value;
  }
  return nullptr;
}

StructuredValue::StructuredValue(std::string_view value) {
  const size_t semicolon = std::min(value.find(';'), value.size());
  type_ = LowerCase(Trim(value.substr(0, semicolon)));
  size_t at = semicolon;
  while (at < value.size()) {
    ++at;  // past ";"
    const size_t equals = value.find('=', at);
    if (equals == std::string_view::npos) break;
    const size_t nextSemicolon = value.find(';', at);
    if (nextSemicolon < equals) {  // a parameter without a value
      at = nextSemicolon;
      continue;
    }
    std::string name = LowerCase(Trim(value.substr(at, equals - at)));
    at = equals + 1;
    while (at < value.size() && (value[at] == ' ' || value[at] == '\t')) ++at;
    std::string parameter = ReadValue(value, at);
    params_.emplace_back(std::move(name), std::move(parameter));
    at = std::min(value.find(';', at), value.size());
  }
}

std::string StructuredValue::Param(std::string_view wanted) const {
  const std::string name = LowerCase(wanted);
  std::map<int, std::pair<bool, std::string>> pieces;  // RFC 2231 continuations
  for (const auto& [key, value] : params_) {
    if (key == name + "*") return DecodeExtendedValue(value);
    if (key.size() > name.size() + 1 && key.compare(0, name.size() + 1, name + "*") == 0) {
      const std::string rest = key.substr(name.size() + 1);
      const bool extended = rest.back() == '*';
      const std::string digits = extended ? rest.substr(0, rest.size() - 1) : rest;
      if (digits.empty() || digits.size() > 3 ||
          !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        continue;
      }
      pieces.emplace(std::stoi(digits), std::make_pair(extended, value));
    }
  }
  for (const auto& [key, value] : params_) {
    if (key == name) return DecodeEncodedWords(value);
  }
  if (pieces.empty()) return {};
  // Joined as encoded bytes, decoded once with the charset of the first.
  std::string joined;
  const bool extended = pieces.begin()->second.first;
  for (const auto& [index, piece] : pieces) {
    if (!extended || piece.first) {
      joined += piece.second;
    } else {
      for (char c : piece.second) {
        if (c == '%') {
          joined += "%25";
        } else {
          joined += c;
        }
      }
    }
  }
  return extended ? DecodeExtendedValue(joined) : DecodeEncodedWords(joined);
}

std::vector<std::string> AddressList(std::string_view value) {
  std::vector<std::string> addresses;
  std::string current;
  std::string angle;
  bool inQuote = false;
  bool inAngle = false;
  bool sawAngle = false;
  int comment = 0;
  auto finish = [&] {
    std::string address(Trim(sawAngle ? angle : current));
    if (!address.empty()) addresses.push_back(std::move(address));
    current.clear();
    angle.clear();
    sawAngle = false;
  };
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (inQuote) {
      if (c == '\\' && i + 1 < value.size()) ++i;
      else if (c == '"') inQuote = false;
      continue;  // display names are not addresses
    }
    if (comment > 0) {
      if (c == '(') ++comment;
      if (c == ')') --comment;
      continue;
    }
    if (inAngle) {
      if (c == '>') inAngle = false;
      else angle += c;
      continue;
    }
    switch (c) {
      case '"': inQuote = true; break;
      case '(': comment = 1; break;
      case '<': inAngle = sawAngle = true; angle.clear(); break;
      case ',': case ';': finish(); break;
      case ':': current.clear(); break;  // a group's name
      case ' ': case '\t': case '\r': case '\n': if (!current.empty()) current += ' '; break;
      default: current += c;
    }
  }
  finish();
  // A bare address is one word; the words before it were a display name.
  for (std::string& address : addresses) {
    const size_t space = address.rfind(' ');
    if (space != std::string::npos) address = address.substr(space + 1);
  }
  return addresses;
}

}  // namespace quorvel
