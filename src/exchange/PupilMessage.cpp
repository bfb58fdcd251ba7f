#include "exchange/PupilMessage.h"

#include "exchange/RecordFields.h"
#include "exchange/RecordKinds.h"

namespace quorvel::exchange {

namespace {

template <typename Fields, typename Message>
void ListFields(Fields& fields, Message& message) {
  fields.U32(PupilMessage::kTagNumber, message.number);
  fields.Coded(PupilMessage::kTagCorrespondent, message.correspondent);
  fields.Coded(PupilMessage::kTagReference, message.reference);
  fields.Note(PupilMessage::kTagNoteA, message.noteA);
  fields.Note(PupilMessage::kTagNoteB, message.noteB);
  fields.Byte(PupilMessage::kTagMessageFlagA, message.messageFlagA);
  fields.Byte(PupilMessage::kTagMessageFlagC, message.messageFlagC);
  fields.Byte(PupilMessage::kTagMessageFlagD, message.messageFlagD);
  fields.Byte(PupilMessage::kTagMessageFlagB, message.messageFlagB);
  fields.Object(PupilMessage::kTagOptions, message.options);
  fields.Wide(PupilMessage::kTagText, message.text);
  fields.Wide(PupilMessage::kTagSecondText, message.secondText);
}

}  // namespace

bool PupilMessage::Write(RecordFile& file) const {
  return WriteNewBlock(file, kBlockPupilMessage, [&](FieldWriter& fields) { ListFields(fields, *this); });
}

bool PupilMessage::Read(RecordFile& file) {
  return ReadBlock(file, kBlockPupilMessage, [&](FieldReader& fields) { ListFields(fields, *this); });
}

}  // namespace quorvel::exchange
