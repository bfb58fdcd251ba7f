// Texts of the dumps between double quotes, safe to print on a terminal.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// `bytes` between double quotes: quotes and backslashes escaped with a
// backslash; control characters (C0, DEL and C1) and every byte that is not
// part of a valid UTF-8 sequence as "\xNN"; the rest (printable ASCII and
// UTF-8 characters) as it is, so a person reads it and a hostile file cannot
// garble the terminal.
std::string QuotedText(std::string_view bytes);

}  // namespace quorvel
