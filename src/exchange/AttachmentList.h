// AttachmentList, block 10600 of the root block: the files the writer of a
// mail attached, each a File value at tag 10601 + i with its display name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exchange/RecordFile.h"
#include "quorvel/CodedTextArray.h"

namespace quorvel::exchange {

struct AttachmentList {
  static constexpr uint16_t kTagFirst = 10601;

  // Stores the files under the names given (a missing or empty name gives the
  // file's default display name) and appends the names to the NameHistory.
  // Fails for an empty list or when the block exists already; answers true
  // only when every file was stored.
  static bool Write(RecordFile& file, const std::vector<std::string>& paths,
                    const CodedTextArray* names = nullptr);
  // Replaces the contents of `names` by the stored names and answers their
  // count; without the block answers 0 and leaves `names` as it was.
  static uint16_t Read(RecordFile& file, CodedTextArray& names);
  // Writes attachment `index` to `targetPath`, replacing an existing target.
  static bool Extract(RecordFile& file, uint32_t index, const std::string& targetPath);
};

}  // namespace quorvel::exchange
