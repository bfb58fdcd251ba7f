#include "mail/ConfigFileLines.h"

#include <algorithm>

#include "frame/WholeFile.h"

namespace quorvel {

namespace {
constexpr size_t kLongestLine = 1023;
}

std::optional<std::vector<std::string>> ReadConfigLines(const std::string& path) {
  const std::optional<std::string> whole = ReadWholeFile(path);
  if (!whole) return std::nullopt;
  const std::string& content = *whole;
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    const size_t next = end == std::string::npos ? content.size() : end + 1;
    if (end == std::string::npos) end = content.size();
    if (end - start > kLongestLine) {
      lines.push_back(content.substr(start, kLongestLine));
      start += kLongestLine;
      continue;
    }
    if (end > start && content[end - 1] == '\r') --end;
    lines.push_back(content.substr(start, end - start));
    start = next;
  }
  return lines;
}

std::string_view Trimmed(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return text;
}

std::string ValueAfterEquals(std::string_view line) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::string();
  return std::string(Trimmed(line.substr(equals + 1)));
}

}  // namespace quorvel
