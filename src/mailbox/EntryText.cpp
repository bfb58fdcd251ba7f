#include "mailbox/EntryText.h"

#include "quorvel/IndexEntry.h"

namespace quorvel {

std::string AttributeWords(uint16_t attributes) {
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

std::string MessageTypeName(uint32_t messageType) {
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
