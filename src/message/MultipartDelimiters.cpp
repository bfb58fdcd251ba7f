#include "message/MultipartDelimiters.h"

#include <algorithm>

namespace quorvel {

DelimiterLine FindDelimiterLine(std::string_view body, std::string_view delimiter, size_t from) {
  for (size_t at = body.find(delimiter, from); at != std::string_view::npos;
       at = body.find(delimiter, at + delimiter.size())) {
    const bool atLineStart = at == 0 || body[at - 1] == '\n';
    const size_t after = at + delimiter.size();
    const bool closing = body.compare(after, 2, "--") == 0;
    const size_t lineEnd = std::min(body.find('\n', after), body.size());
    const std::string_view rest = body.substr(after, lineEnd - after);
    const bool wholeLine = closing || rest.find_first_not_of(" \t\r") == std::string_view::npos;
    if (atLineStart && wholeLine) return {at, closing, std::min(lineEnd + 1, body.size())};
  }
  return {};
}

std::string_view PartBefore(std::string_view body, size_t start, size_t delimiterAt) {
  if (delimiterAt == std::string_view::npos) return body.substr(start);
  size_t end = delimiterAt;
  if (end > start && body[end - 1] == '\n') --end;
  if (end > start && body[end - 1] == '\r') --end;
  return body.substr(start, end - start);
}

}  // namespace quorvel
