// Cases kept as files under tests/data/<kind>/: NAME.bytes holds an input in
// a byte notation written by hand from the format's description, NAME.expected
// what the code must make of it. The notation, tokens apart by white space,
// "#" to the end of a line a comment:
//   4E          one byte in hex          300*64    that byte 300 times
//   u8:5 u16:1252 u32:0x10000            little-endian numbers
//   "INV "      the text's bytes         w"Anna"   its UTF-16LE code units
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "TempDirectory.h"

namespace quorvel::testing {

inline std::string ReadCaseFile(const std::filesystem::path& path) {
  return ReadFile(path.string());
}

inline void AppendUtf16(std::string& out, std::string_view utf8) {
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<uint8_t>(utf8[i]);
    const int more = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    uint32_t code = more == 0 ? lead : lead & (0x3F >> more);
    for (int k = 1; k <= more; ++k) code = code << 6 | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
    i += more + 1;
    const std::u16string units = code < 0x10000 ? std::u16string(1, char16_t(code))
                                 : std::u16string{char16_t(0xD800 + ((code - 0x10000) >> 10)),
                                                  char16_t(0xDC00 + ((code - 0x10000) & 0x3FF))};
    for (const char16_t u : units) out += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  }
}

inline std::string ParseBytes(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '#') {
      i = text.find('\n', i) == std::string::npos ? text.size() : text.find('\n', i);
    } else if (c == '"' || (c == 'w' && i + 1 < text.size() && text[i + 1] == '"')) {
      const size_t open = text.find('"', i), close = text.find('"', open + 1);
      const std::string_view quoted(text.data() + open + 1, close - open - 1);
      if (c == 'w') {
        AppendUtf16(out, quoted);
      } else {
        out.append(quoted);
      }
      i = close + 1;
    } else {
      size_t end = i;
      while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
      const std::string token = text.substr(i, end - i);
      i = end;
      const size_t colon = token.find(':'), star = token.find('*');
      if (colon != std::string::npos) {
        const int width = std::stoi(token.substr(1, colon - 1)) / 8;
        const uint64_t value = std::stoull(token.substr(colon + 1), nullptr, 0);
        for (int b = 0; b < width; ++b) out += static_cast<char>(value >> (8 * b));
      } else if (star != std::string::npos) {
        const auto byte = static_cast<char>(std::stoul(token.substr(star + 1), nullptr, 16));
        out.append(std::stoul(token.substr(0, star)), byte);
      } else {
        out += static_cast<char>(std::stoul(token, nullptr, 16));
      }
    }
  }
  return out;
}

// The cases of one kind: the stem of each NAME.bytes, sorted.
inline std::vector<std::filesystem::path> ByteCases(const std::string& kind) {
  std::vector<std::filesystem::path> cases;
  const std::string directory = std::string(QUORVEL_TEST_DATA) + "/" + kind;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    const std::filesystem::path& path = entry.path();
    // NAME.bytes, not a second input such as NAME.saved.bytes
    if (path.extension() == ".bytes" && !path.stem().has_extension()) {
      cases.push_back(path.parent_path() / path.stem());
    }
  }
  std::sort(cases.begin(), cases.end());
  EXPECT_FALSE(cases.empty()) << "no cases in " << kind;
  return cases;
}

// The lines of tests/data/<file> that are not empty or a "#" comment, cut into their fields at
// each " | ".
inline std::vector<std::vector<std::string>> CaseTable(const std::string& file) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(ReadFile(std::string(QUORVEL_TEST_DATA) + "/" + file));
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string>& fields = rows.emplace_back();
    for (size_t start = 0, bar = 0; bar != std::string::npos; start = bar + 3) {
      bar = line.find(" | ", start);
      fields.push_back(line.substr(start, bar - start));
    }
  }
  EXPECT_FALSE(rows.empty()) << "no cases in " << file;
  return rows;
}

inline std::string Utf8(std::u16string_view units) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t code = units[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size()) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    const int more = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    out += static_cast<char>(more == 0 ? code : ((0xF0 << (3 - more)) & 0xFF) | code >> 6 * more);
    for (int k = more - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((code >> 6 * k) & 0x3F));
  }
  return out;
}

}  // namespace quorvel::testing
