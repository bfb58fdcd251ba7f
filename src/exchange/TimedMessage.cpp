#include "exchange/TimedMessage.h"

#include "exchange/RecordFields.h"
#include "exchange/RecordKinds.h"

namespace quorvel::exchange {

bool TimedMessage::Read(RecordFile& file) {
  return ReadBlock(file, kBlockTimedMessage, [&](FieldReader& fields) {
    fields.Time(kTagTime, time);
    fields.U32(kTagValueA, valueA);
    fields.U32(kTagValueB, valueB);
    fields.Wide(kTagText, text);
  });
}

}  // namespace quorvel::exchange
