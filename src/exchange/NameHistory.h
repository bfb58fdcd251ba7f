// NameHistory, block 10800 of the root block: the display names of every
// file stored in an item, in the order they were stored, as Coded values at
// tags 10801, 10802, ... without gaps. Each writer of files appends its
// names after the last one present.
#pragma once

#include <cstdint>
#include <vector>

#include "exchange/RecordFile.h"
#include "quorvel/CodedText.h"
#include "quorvel/CodedTextArray.h"

namespace quorvel::exchange {

struct NameHistory {
  static constexpr uint16_t kTagFirst = 10801;

  // Creates or enters the block under the current (root) block and puts the
  // names from the first tag that holds no Coded value; answers whether the
  // block could be entered and every name was put.
  static bool Append(RecordFile& file, const std::vector<CodedText>& names);
  // The names from the first tag up to the first gap; empty without the block.
  static CodedTextArray Read(RecordFile& file);
};

}  // namespace quorvel::exchange
