#include "exchange/PlainTextMessage.h"

#include "exchange/NoteValues.h"
#include "exchange/RecordKinds.h"

namespace quorvel::exchange {

bool PlainTextMessage::Write(RecordFile& file) const {
  if (!file.CreateBlock(kBlockPlainTextMessage)) return false;
  const bool written = PutNote(file, kTagPlainText, plainText);
  file.LeaveBlock();
  return written;
}

bool PlainTextMessage::Read(RecordFile& file) {
  if (!file.EnterBlock(kBlockPlainTextMessage)) return false;
  const bool read = GetNote(file, kTagPlainText, plainText);
  file.LeaveBlock();
  return read;
}

}  // namespace quorvel::exchange
