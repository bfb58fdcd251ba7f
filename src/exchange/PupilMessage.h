// PupilMessage, block 10200: the record of a pupil mail (kind 20). noteA and
// noteB are 8-bit texts, stored as CodedText in code page 1252.
#pragma once

#include <cstdint>
#include <string>

#include "exchange/RecordFile.h"
#include "quorvel/ArchivedU32.h"
#include "quorvel/CodedText.h"
#include "quorvel/WideString.h"

namespace quorvel::exchange {

struct PupilMessage {
  static constexpr uint16_t kTagNumber = 10201;
  static constexpr uint16_t kTagCorrespondent = 10202;
  static constexpr uint16_t kTagReference = 10203;
  static constexpr uint16_t kTagNoteA = 10204;
  static constexpr uint16_t kTagNoteB = 10205;
  static constexpr uint16_t kTagMessageFlagA = 10206;
  static constexpr uint16_t kTagMessageFlagC = 10207;
  static constexpr uint16_t kTagMessageFlagD = 10208;
  static constexpr uint16_t kTagMessageFlagB = 10209;
  static constexpr uint16_t kTagOptions = 10210;
  static constexpr uint16_t kTagText = 10211;
  static constexpr uint16_t kTagSecondText = 10212;

  // Fails without writing when the block exists already.
  bool Write(RecordFile& file) const;
  // A missing field fails the read but the others are still read.
  bool Read(RecordFile& file);

  uint32_t number = 0;
  CodedText correspondent;
  CodedText reference;
  std::string noteA;
  std::string noteB;
  uint8_t messageFlagA = 0;
  uint8_t messageFlagC = 0;
  uint8_t messageFlagD = 0;
  uint8_t messageFlagB = 0;
  ArchivedU32 options;
  WideString text;
  WideString secondText;
};

}  // namespace quorvel::exchange
