// TutorReply, block 10300: the record of a tutor's reply (kind 21), with the
// number and reference of the pupil mail it answers.
#pragma once

#include <cstdint>

#include "exchange/RecordFile.h"
#include "quorvel/CodedText.h"
#include "quorvel/WideString.h"

namespace quorvel::exchange {

struct TutorReply {
  static constexpr uint16_t kTagNumber = 10301;
  static constexpr uint16_t kTagCorrespondent = 10302;
  static constexpr uint16_t kTagReplyFlag = 10303;
  static constexpr uint16_t kTagText = 10304;
  static constexpr uint16_t kTagPupilNumber = 10305;
  static constexpr uint16_t kTagReference = 10306;

  // Fails without writing when the block exists already.
  bool Write(RecordFile& file) const;
  // A missing field fails the read but the others are still read.
  bool Read(RecordFile& file);

  uint32_t number = 0;
  CodedText correspondent;
  uint8_t replyFlag = 0;
  WideString text;
  uint32_t pupilNumber = 0;  // number (10201) of the pupil mail answered
  CodedText reference;       // reference (10203) of the pupil mail answered
};

}  // namespace quorvel::exchange
