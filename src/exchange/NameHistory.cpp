#include "exchange/NameHistory.h"

#include "exchange/RecordKinds.h"

namespace quorvel::exchange {

namespace {

constexpr uint32_t kLastTag = 0xFFFF;

// The first tag from 10801 that holds no Coded value.
uint32_t FirstFreeTag(RecordFile& file) {
  uint32_t tag = NameHistory::kTagFirst;
  CodedText name;
  while (tag <= kLastTag && file.GetCoded(static_cast<uint16_t>(tag), name)) ++tag;
  return tag;
}

}  // namespace

bool NameHistory::Append(RecordFile& file, const std::vector<CodedText>& names) {
  if (!file.CreateBlock(kBlockNameHistory)) return false;
  const uint32_t first = FirstFreeTag(file);
  bool allPut = true;
  for (size_t i = 0; i < names.size(); ++i) {
    const uint32_t tag = first + i;
    const bool put = tag <= kLastTag && file.PutCoded(static_cast<uint16_t>(tag), names[i]);
    allPut = allPut && put;
  }
  file.LeaveBlock();
  return allPut;
}

CodedTextArray NameHistory::Read(RecordFile& file) {
  CodedTextArray names;
  if (!file.EnterBlock(kBlockNameHistory)) return names;
  CodedText name;
  for (uint32_t tag = kTagFirst; tag <= kLastTag && file.GetCoded(static_cast<uint16_t>(tag), name); ++tag) {
    names.Add(name);
  }
  file.LeaveBlock();
  return names;
}

}  // namespace quorvel::exchange
