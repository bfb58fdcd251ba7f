// Index entries in words, for the tool's listings and dumps; in the header,
// as the tool's host commands use it without the library's core.
#pragma once

#include <cstdint>
#include <string>

#include "quorvel/IndexEntry.h"

namespace quorvel {

// The attribute bits the system knows, as words separated by ", ": "unread",
// "unsent", "attachments", "learning data".
inline std::string AttributeWords(uint16_t attributes) {
  static const struct {
    uint16_t bit;
    const char* word;
  } kWords[] = {{kItemUnread, "unread"},
                {kItemNotSent, "unsent"},
                {kItemHasAttachments, "attachments"},
                {kItemHasLearningData, "learning data"}};
  std::string words;
  for (const auto& w : kWords) {
    if ((attributes & w.bit) == 0) continue;
    if (!words.empty()) words += ", ";
    words += w.word;
  }
  return words;
}

// "pupil mail", "tutor reply", "timed message", "plain text", "none" (255)
// or "kind N".
inline std::string MessageTypeName(uint32_t messageType) {
  switch (messageType) {
    case 20: return "pupil mail";
    case 21: return "tutor reply";
    case 22: return "timed message";
    case 23: return "plain text";
    case kNoMessageType: return "none";
    default: return "kind " + std::to_string(messageType);
  }
}

}  // namespace quorvel
