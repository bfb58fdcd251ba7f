// Reading the text files of other mail clients: lines as a C reader with a
// 1024-byte line buffer sees them, and "key = value" values.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The lines of a file without their line ends; a line longer than 1023
// characters comes as several. Empty when the file cannot be read.
std::optional<std::vector<std::string>> ReadConfigLines(const std::string& path);

// Without blanks, tabs, CR and LF at both ends.
std::string_view Trimmed(std::string_view text);

// The text with A-Z turned into a-z (names of clients and paths compared
// without regard to case).
std::string LowerCase(std::string text);

// The text after the first "=", trimmed; empty without one.
std::string ValueAfterEquals(std::string_view line);

}  // namespace quorvel
