// Reads every value of an open record file through its accessors, entering
// each block, with a budget that keeps blocks pointing at their ancestors
// from making the walk endless.
#pragma once

#include <vector>

#include "FuzzScratch.h"
#include "exchange/RecordFile.h"

namespace quorvel::fuzz {

inline void WalkBlock(exchange::RecordFile& file, int depth, int& budget) {
  using namespace exchange;
  const TagEntryArray* current = file.CurrentEntries();
  if (current == nullptr) return;
  const std::vector<TagEntry> entries(current->begin(), current->end());
  for (const TagEntry& entry : entries) {
    if (--budget < 0) return;
    uint32_t number = 0;
    uint8_t byte = 0;
    WideString wide;
    CodedText coded;
    std::string bytes;
    switch (entry.type) {
      case kTypeU32: file.GetU32(entry.tag, number); break;
      case kTypeTime: file.GetTime(entry.tag, number); break;
      case kTypeByte: file.GetByte(entry.tag, byte); break;
      case kTypeWide: file.GetWide(entry.tag, wide); break;
      case kTypeCoded: file.GetCoded(entry.tag, coded); break;
      case kTypeObject: file.GetObjectBytes(entry.tag, bytes); break;
      case kTypeFile:
        if (file.GetFileInfo(entry.tag, coded, number)) {
          file.ExtractFile(entry.tag, ScratchPath("extracted"), true);
        }
        break;
      case kTypeBlock:
        if (depth < 32 && file.EnterBlock(entry.tag)) {
          WalkBlock(file, depth + 1, budget);
          file.LeaveBlock();
        }
        break;
      default: break;
    }
  }
}

inline void WalkRecord(exchange::RecordFile& file) {
  int budget = 4096;
  WalkBlock(file, 0, budget);
  file.Kind();
}

}  // namespace quorvel::fuzz
