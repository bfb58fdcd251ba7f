#include "exchange/ItemStamp.h"

#include "exchange/RecordFields.h"
#include "exchange/RecordKinds.h"
#include "platform/Clock.h"

namespace quorvel::exchange {

namespace {

template <typename Fields, typename Stamp>
void ListFields(Fields& fields, Stamp& stamp) {
  fields.U32(ItemStamp::kTagItemId, stamp.itemId);
  fields.U32(ItemStamp::kTagParentId, stamp.parentId);
  fields.Time(ItemStamp::kTagCreated, stamp.created);
  fields.Time(ItemStamp::kTagModified, stamp.modified);
}

}  // namespace

// The stamp is rewritten in place, so its fields are Set, not Put.
bool ItemStamp::Write(RecordFile& file) {
  const uint32_t now = platform::UtcSecondsNow();
  if (file.EnterBlock(kBlockItemStamp)) {
    modified = now;
  } else {
    created = modified = now;
    if (!file.CreateBlock(kBlockItemStamp)) return false;
  }
  FieldWriter fields(file, true);
  ListFields(fields, *this);
  file.LeaveBlock();
  return fields.AllDone();
}

bool ItemStamp::Read(RecordFile& file) {
  return ReadBlock(file, kBlockItemStamp, [&](FieldReader& fields) { ListFields(fields, *this); });
}

}  // namespace quorvel::exchange
