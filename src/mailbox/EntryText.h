// Index entries in words, for the tool's listings and dumps.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// The attribute bits the system knows, as words separated by ", ": "unread",
// "unsent", "attachments", "learning data".
std::string AttributeWords(uint16_t attributes);

// "pupil mail", "tutor reply", "timed message", "plain text", "none" (255)
// or "kind N".
std::string MessageTypeName(uint32_t messageType);

}  // namespace quorvel
