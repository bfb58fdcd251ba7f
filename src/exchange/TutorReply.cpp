#include "exchange/TutorReply.h"

#include "exchange/RecordFields.h"
#include "exchange/RecordKinds.h"

namespace quorvel::exchange {

namespace {

template <typename Fields, typename Reply>
void ListFields(Fields& fields, Reply& reply) {
  fields.U32(TutorReply::kTagNumber, reply.number);
  fields.Coded(TutorReply::kTagCorrespondent, reply.correspondent);
  fields.Byte(TutorReply::kTagReplyFlag, reply.replyFlag);
  fields.Wide(TutorReply::kTagText, reply.text);
  fields.U32(TutorReply::kTagPupilNumber, reply.pupilNumber);
  fields.Coded(TutorReply::kTagReference, reply.reference);
}

}  // namespace

bool TutorReply::Write(RecordFile& file) const {
  return WriteNewBlock(file, kBlockTutorReply, [&](FieldWriter& fields) { ListFields(fields, *this); });
}

bool TutorReply::Read(RecordFile& file) {
  return ReadBlock(file, kBlockTutorReply, [&](FieldReader& fields) { ListFields(fields, *this); });
}

}  // namespace quorvel::exchange
