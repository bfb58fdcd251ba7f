#include "exchange/TutorReply.h"

#include "exchange/RecordKinds.h"

namespace quorvel::exchange {

bool TutorReply::Write(RecordFile& file) const {
  if (file.EnterBlock(kBlockTutorReply)) {
    file.LeaveBlock();
    return false;
  }
  if (!file.CreateBlock(kBlockTutorReply)) return false;
  bool written = file.PutU32(kTagNumber, number);
  written &= file.PutCoded(kTagCorrespondent, correspondent);
  written &= file.PutByte(kTagReplyFlag, replyFlag);
  written &= file.PutWide(kTagText, text);
  written &= file.PutU32(kTagPupilNumber, pupilNumber);
  written &= file.PutCoded(kTagReference, reference);
  file.LeaveBlock();
  return written;
}

bool TutorReply::Read(RecordFile& file) {
  if (!file.EnterBlock(kBlockTutorReply)) return false;
  bool read = file.GetU32(kTagNumber, number);
  read &= file.GetCoded(kTagCorrespondent, correspondent);
  read &= file.GetByte(kTagReplyFlag, replyFlag);
  read &= file.GetWide(kTagText, text);
  read &= file.GetU32(kTagPupilNumber, pupilNumber);
  read &= file.GetCoded(kTagReference, reference);
  file.LeaveBlock();
  return read;
}

}  // namespace quorvel::exchange
