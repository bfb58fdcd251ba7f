// IndexEntry: a mailbox's record of one item, as the index lists it. The
// item queries (TessalyGetItemAtIndex, TessalyGetItemAtId, the sent and
// not-sent lists) hand out pointers to the mailbox's own entries: the host
// may read and change them (a change is written with the next save of the
// index) but never frees them; they stay valid until the item is removed or
// the mailbox closes. The entry does not hold the item's own id: see
// quorvel.h ("Item queries").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quorvel/CodedText.h"
#include "quorvel/CodedTextArray.h"
#include "quorvel/GrowableArray.h"

// Bits of the attribute word.
inline constexpr uint16_t kItemUnread = 0x0001;
inline constexpr uint16_t kItemNotSent = 0x0002;
inline constexpr uint16_t kItemHasAttachments = 0x0008;
inline constexpr uint16_t kItemHasLearningData = 0x2000;  // options update or learning-path files

// Record kind of an entry that stores none.
inline constexpr uint32_t kNoMessageType = 255;

class IndexEntry {
 public:
  IndexEntry() = default;
  IndexEntry(const IndexEntry&) = default;
  IndexEntry& operator=(const IndexEntry&) = default;
  virtual ~IndexEntry() = default;

  friend bool operator==(const IndexEntry& a, const IndexEntry& b) {
    if (a.nameList.Size() != b.nameList.Size()) return false;
    for (uint32_t i = 0; i < a.nameList.Size(); ++i) {
      if (!(a.nameList[i] == b.nameList[i])) return false;
    }
    return a.fileName == b.fileName && a.correspondent == b.correspondent &&
           a.writtenTime == b.writtenTime && a.date == b.date && a.sourceId == b.sourceId &&
           a.depth == b.depth && a.attributes == b.attributes &&
           a.messageFlagA == b.messageFlagA && a.messageFlagB == b.messageFlagB &&
           a.messageType == b.messageType && a.outRoutes == b.outRoutes;
  }

  // Name and extension of the item file inside the mailbox directory.
  std::string fileName;
  // The correspondent the message carries.
  CodedText correspondent = CodedText::Default();
  // Names the writer supplied when the item was filed.
  CodedTextArray nameList;
  // Received items: when the sender last stamped the file; 0 for items written here.
  uint32_t writtenTime = 0;
  // Items written here: when they were stamped; received items: when they arrived.
  uint32_t date = 0;
  // Items written here: their own id; received items: the id they answer.
  uint32_t sourceId = 0;
  // 0 for a thread root, the parent's depth + 1 for a reply.
  uint8_t depth = 0;
  uint16_t attributes = 0;
  // The host's own index flags of a pupil mail (TessalyPupilWriteMail's
  // indexFlagA and indexFlagB); 0 for tutor replies and plain text items.
  uint8_t messageFlagA = 0;
  uint8_t messageFlagB = 0;
  // Record kind: 20 pupil mail, 21 tutor reply, 22 timed, 23 plain text.
  uint32_t messageType = kNoMessageType;
  // One outbound route per way of sending the item (quorvel.h, "Sending and
  // receiving exchange items"); empty for received items.
  std::vector<std::string> outRoutes;
};

// A list of references to index entries (the sent and not-sent lists of the
// last send run); it owns none of them.
using IndexEntryArray = GrowableArray<IndexEntry*>;
