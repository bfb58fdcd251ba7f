// Cases in tests/data/<kind>.txt: "# NAME" starts one; "< TEXT" an input, "+ TEXT" one more piece
// of it, "> TEXT" what is sent, "= TEXT" what is made; other lines KEY=VALUE settings. Texts
// write CR, LF, a backslash and any byte as \r, \n, \\, \xNN.
#pragma once

#include <map>
#include <sstream>

#include "TempDirectory.h"

namespace quorvel::testing {

struct TextCase {
  std::string name;
  std::vector<std::vector<std::string>> inputs;
  std::string sent;
  std::string text;
  std::map<std::string, std::string> settings;

  std::string Get(const std::string& key, const std::string& fallback = "") const {
    const auto found = settings.find(key);
    return found == settings.end() ? fallback : found->second;
  }
  uint32_t Number(const std::string& key) const { return std::stoul(Get(key, "0"), nullptr, 0); }
};

inline std::vector<TextCase> TextCases(const std::string& kind) {
  std::istringstream lines(ReadFile(QUORVEL_TEST_DATA "/" + kind + ".txt"));
  std::vector<TextCase> cases;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    if (line[0] == '#') {
      cases.emplace_back().name = line.substr(2);
      continue;
    }
    TextCase& c = cases.back();
    std::string text;
    if (std::string("<+>=").find(line[0]) == std::string::npos) {
      for (std::istringstream words(line); words >> text;) {
        c.settings[text.substr(0, text.find('='))] = text.substr(text.find('=') + 1);
      }
      continue;
    }
    for (size_t i = 2; i < line.size(); ++i) {
      const char next = i + 1 < line.size() && line[i] == '\\' ? line[++i] : '\0';
      text += next == 'r' ? '\r' : next == 'n' ? '\n' : next == '\\' ? '\\' : line[i];
      if (next == 'x') {
        text.back() = static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
        i += 2;
      }
    }
    if (line[0] == '<') c.inputs.push_back({text});
    if (line[0] == '+') c.inputs.back().push_back(text);
    if (line[0] == '>') c.sent += text;
    if (line[0] == '=') c.text += text;
  }
  EXPECT_FALSE(cases.empty()) << kind;
  return cases;
}

}  // namespace quorvel::testing
