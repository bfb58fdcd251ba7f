// TimedMessage, block 10400: a record kind (22) that other writers produce;
// this library only reads it.
#pragma once

#include <cstdint>

#include "exchange/RecordFile.h"
#include "quorvel/WideString.h"

namespace quorvel::exchange {

struct TimedMessage {
  static constexpr uint16_t kTagTime = 10401;
  static constexpr uint16_t kTagValueA = 10402;
  static constexpr uint16_t kTagValueB = 10403;
  static constexpr uint16_t kTagText = 10404;

  bool Read(RecordFile& file);

  uint32_t time = 0;
  uint32_t valueA = 0;
  uint32_t valueB = 0;
  WideString text;
};

}  // namespace quorvel::exchange
