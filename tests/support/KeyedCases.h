// Cases kept as files tests/data/<kind>/NAME.txt (or the one file tests/data/<kind>.txt), one
// "KEY value" a line. A run of "#" lines starts a case (its first line, less "# ", names it); a
// file without one is one case. Values write CR, LF, NUL, a backslash and any byte as \r, \n, \0,
// \\ and \xNN, and a run as \*COUNT and the character or the text in brackets repeated ("\*3x"
// is "xxx", "\*2(ab)" is "abab"); a key alone has an empty value.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "TempDirectory.h"

namespace quorvel::testing {

struct KeyedCase {
  std::string name;
  std::vector<std::pair<std::string, std::string>> lines;  // in the file's order

  bool Has(const std::string& key) const {
    return std::any_of(lines.begin(), lines.end(), [&](const auto& l) { return l.first == key; });
  }
  // The values of `key` joined, or `fallback` when there is none.
  std::string Get(const std::string& key, const std::string& fallback = "") const {
    std::string all;
    for (const auto& [k, value] : lines) all += k == key ? value : "";
    return Has(key) ? all : fallback;
  }
  uint32_t Number(const std::string& key) const { return std::stoul(Get(key, "0"), nullptr, 0); }
  // A value the case gives for `key` must be the one seen.
  void Check(const std::string& key, const std::string& seen) const {
    EXPECT_EQ(seen, Get(key, seen)) << key;
  }
};

inline std::string Unescaped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] == '\\' && i + 1 < text.size() ? text[++i] : 0;
    if (c == '*') {
      size_t digits = 0;
      const size_t count = std::stoul(text.substr(i + 1), &digits);
      i += digits + 1;
      const size_t close = text.at(i) == '(' ? text.find(')', i) : i;
      const bool bracketed = close > i;
      const std::string run = Unescaped(text.substr(i + bracketed, bracketed ? close - i - 1 : 1));
      for (size_t k = 0; k < count; ++k) out += run;
      i = close;
      continue;
    }
    if (c == 'x') {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
      continue;
    }
    out += c == 0 ? text[i] : c == 'r' ? '\r' : c == 'n' ? '\n' : c == '0' ? '\0' : c;
  }
  return out;
}

inline std::vector<KeyedCase> KeyedCases(const std::string& kind) {
  const std::string path = QUORVEL_TEST_DATA "/" + kind;
  std::vector<std::filesystem::path> files;
  if (std::filesystem::is_regular_file(path + ".txt")) files.push_back(path + ".txt");
  std::error_code none;  // a kind naming one file has no directory
  for (const auto& entry : std::filesystem::directory_iterator(path, none)) {
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<KeyedCase> cases;
  for (const std::filesystem::path& file : files) {
    std::istringstream in(ReadFile(file.string()));
    const std::string stem = file.stem().string();
    bool comment = false, started = false;
    for (std::string line; std::getline(in, line);) {
      if (line.empty()) continue;
      if (line[0] == '#' && !comment) {
        cases.push_back({stem + ": " + line.substr(std::min<size_t>(2, line.size())), {}});
      } else if (line[0] != '#') {
        if (!started) cases.push_back({stem, {}});
        const size_t space = std::min(line.find(' '), line.size());
        cases.back().lines.emplace_back(line.substr(0, space),
                                        Unescaped(line.substr(std::min(space + 1, line.size()))));
      }
      started = true;
      comment = line[0] == '#';
    }
  }
  EXPECT_FALSE(cases.empty()) << kind;
  return cases;
}

}  // namespace quorvel::testing
