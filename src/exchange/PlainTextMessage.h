// PlainTextMessage, block 10900: a plain received mail (kind 23), its 8-bit
// text stored as a CodedText in code page 1252.
#pragma once

#include <cstdint>
#include <string>

#include "exchange/RecordFile.h"

namespace quorvel::exchange {

struct PlainTextMessage {
  static constexpr uint16_t kTagPlainText = 10901;

  // Adds to an existing block; fails when the text is there already.
  bool Write(RecordFile& file) const;
  bool Read(RecordFile& file);

  std::string plainText;
};

}  // namespace quorvel::exchange
