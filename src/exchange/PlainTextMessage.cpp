#include "exchange/PlainTextMessage.h"

#include "exchange/RecordFields.h"
#include "exchange/RecordKinds.h"

namespace quorvel::exchange {

bool PlainTextMessage::Write(RecordFile& file) const {
  if (!file.CreateBlock(kBlockPlainTextMessage)) return false;
  FieldWriter fields(file);
  fields.Note(kTagPlainText, plainText);
  file.LeaveBlock();
  return fields.AllDone();
}

bool PlainTextMessage::Read(RecordFile& file) {
  return ReadBlock(file, kBlockPlainTextMessage,
                   [&](FieldReader& fields) { fields.Note(kTagPlainText, plainText); });
}

}  // namespace quorvel::exchange
