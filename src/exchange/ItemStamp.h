// ItemStamp, block 10100: the item's id in its mailbox, the id of the item
// it answers and when it was filed and last stamped. The mailbox writes it.
#pragma once

#include <cstdint>

#include "exchange/RecordFile.h"

namespace quorvel::exchange {

struct ItemStamp {
  static constexpr uint16_t kTagItemId = 10101;
  static constexpr uint16_t kTagParentId = 10102;
  static constexpr uint16_t kTagCreated = 10103;
  static constexpr uint16_t kTagModified = 10104;

  // An existing stamp keeps `created` and gets a new modified time; a new one
  // gets the current time for both.
  bool Write(RecordFile& file);
  bool Read(RecordFile& file);

  uint32_t itemId = 0;
  uint32_t parentId = 0;  // 0: answers nothing
  uint32_t created = 0;
  uint32_t modified = 0;
};

}  // namespace quorvel::exchange
