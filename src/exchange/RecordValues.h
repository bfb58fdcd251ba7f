// Reading the out-of-line values of a record file. A value is a u32 record
// length L (counting its own 4 bytes) and L - 4 bytes; every length is checked
// against the value area before anything is allocated or read.
#pragma once

#include <cstdint>
#include <string>

#include "exchange/RecordFormat.h"
#include "exchange/RecordSource.h"
#include "quorvel/CodedText.h"
#include "quorvel/WideString.h"

namespace quorvel::exchange {

// The bytes where values can lie: from the end of the header to the directory.
struct ValueArea {
  uint32_t begin = kHeaderSize;
  uint32_t end = kHeaderSize;
};

// Each reader answers false and says why in `damage` (when given) when the
// record does not fit its area or its own form, or the file cannot be read.
bool ReadWideValue(RecordSource& file, const ValueArea& area, uint32_t offset, WideString& text,
                   RecordDamage* damage = nullptr);
// A record without code units gives the default CodedText.
bool ReadCodedValue(RecordSource& file, const ValueArea& area, uint32_t offset, CodedText& coded,
                    RecordDamage* damage = nullptr);
bool ReadObjectValue(RecordSource& file, const ValueArea& area, uint32_t offset,
                     std::string& bytes, RecordDamage* damage = nullptr);

struct FileValueHead {
  CodedText name;
  uint32_t dataOffset = 0;  // where the file's bytes start
  uint32_t dataSize = 0;
};
bool ReadFileValueHead(RecordSource& file, const ValueArea& area, uint32_t offset,
                       FileValueHead& head, RecordDamage* damage = nullptr);

// UTF-16LE bytes as code units.
std::u16string UnitsFromBytes(const std::string& bytes);

}  // namespace quorvel::exchange
