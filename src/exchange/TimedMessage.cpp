#include "exchange/TimedMessage.h"

#include "exchange/RecordKinds.h"

namespace quorvel::exchange {

bool TimedMessage::Read(RecordFile& file) {
  if (!file.EnterBlock(kBlockTimedMessage)) return false;
  bool read = file.GetTime(kTagTime, time);
  read &= file.GetU32(kTagValueA, valueA);
  read &= file.GetU32(kTagValueB, valueB);
  read &= file.GetWide(kTagText, text);
  file.LeaveBlock();
  return read;
}

}  // namespace quorvel::exchange
