// Checks over the line ends of a text, done at memory speed: large received
// texts (several megabytes) go through them once each.
#pragma once

#include <string_view>

namespace quorvel {

// Whether every LF of the text follows a CR (true for a text without LF).
bool EndsEveryLineWithCrLf(std::string_view text);

}  // namespace quorvel
