#include "exchange/ItemStamp.h"

#include "exchange/RecordKinds.h"
#include "platform/Clock.h"

namespace quorvel::exchange {

bool ItemStamp::Write(RecordFile& file) {
  const uint32_t now = platform::UtcSecondsNow();
  if (file.EnterBlock(kBlockItemStamp)) {
    modified = now;
  } else {
    created = modified = now;
    if (!file.CreateBlock(kBlockItemStamp)) return false;
  }
  bool written = file.SetU32(kTagItemId, itemId);
  written &= file.SetU32(kTagParentId, parentId);
  written &= file.SetTime(kTagCreated, created);
  written &= file.SetTime(kTagModified, modified);
  file.LeaveBlock();
  return written;
}

bool ItemStamp::Read(RecordFile& file) {
  if (!file.EnterBlock(kBlockItemStamp)) return false;
  bool read = file.GetU32(kTagItemId, itemId);
  read &= file.GetU32(kTagParentId, parentId);
  read &= file.GetTime(kTagCreated, created);
  read &= file.GetTime(kTagModified, modified);
  file.LeaveBlock();
  return read;
}

}  // namespace quorvel::exchange
