// 8-bit texts kept in a record file as Coded values: written in code page
// 1252, read back with the code page they were stored with.
#pragma once

#include <cstdint>
#include <string>

#include "exchange/RecordFile.h"

namespace quorvel::exchange {

bool PutNote(RecordFile& file, uint16_t tag, const std::string& note);
// A failed get leaves the text that the default CodedText converts to (empty).
bool GetNote(RecordFile& file, uint16_t tag, std::string& note);

}  // namespace quorvel::exchange
