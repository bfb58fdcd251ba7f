#include "exchange/PupilMessage.h"

#include "exchange/NoteValues.h"
#include "exchange/RecordKinds.h"

namespace quorvel::exchange {

bool PupilMessage::Write(RecordFile& file) const {
  if (file.EnterBlock(kBlockPupilMessage)) {
    file.LeaveBlock();
    return false;
  }
  if (!file.CreateBlock(kBlockPupilMessage)) return false;
  bool written = file.PutU32(kTagNumber, number);
  written &= file.PutCoded(kTagCorrespondent, correspondent);
  written &= file.PutCoded(kTagReference, reference);
  written &= PutNote(file, kTagNoteA, noteA);
  written &= PutNote(file, kTagNoteB, noteB);
  written &= file.PutByte(kTagMessageFlagA, messageFlagA);
  written &= file.PutByte(kTagMessageFlagC, messageFlagC);
  written &= file.PutByte(kTagMessageFlagD, messageFlagD);
  written &= file.PutByte(kTagMessageFlagB, messageFlagB);
  written &= file.PutObject(kTagOptions, options);
  written &= file.PutWide(kTagText, text);
  written &= file.PutWide(kTagSecondText, secondText);
  file.LeaveBlock();
  return written;
}

bool PupilMessage::Read(RecordFile& file) {
  if (!file.EnterBlock(kBlockPupilMessage)) return false;
  bool read = file.GetU32(kTagNumber, number);
  read &= file.GetCoded(kTagCorrespondent, correspondent);
  read &= file.GetCoded(kTagReference, reference);
  read &= GetNote(file, kTagNoteA, noteA);
  read &= GetNote(file, kTagNoteB, noteB);
  read &= file.GetByte(kTagMessageFlagA, messageFlagA);
  read &= file.GetByte(kTagMessageFlagC, messageFlagC);
  read &= file.GetByte(kTagMessageFlagD, messageFlagD);
  read &= file.GetByte(kTagMessageFlagB, messageFlagB);
  read &= file.GetObject(kTagOptions, options);
  read &= file.GetWide(kTagText, text);
  read &= file.GetWide(kTagSecondText, secondText);
  file.LeaveBlock();
  return read;
}

}  // namespace quorvel::exchange
