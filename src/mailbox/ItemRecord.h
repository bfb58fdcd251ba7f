// What an index entry records of an item's exchange file: its kind, the
// correspondent and flags of its main record, and whether it carries
// attachments or learning data. Filing and rebuilding an index both use it.
#pragma once

#include <cstdint>

#include "exchange/RecordFile.h"
#include "quorvel/IndexEntry.h"

namespace quorvel {

// Sets messageType, correspondent, messageFlagA and messageFlagB from an open
// item. False for a kind that has no such record (only pupil messages, 20 and
// 22, and tutor replies, 21, have one) or a record that does not read.
// `number` (when given) receives the record's message number.
bool DescribeMessage(exchange::RecordFile& item, IndexEntry& entry, uint32_t* number = nullptr);

// kItemHasAttachments when block 10600 lists a file; kItemHasLearningData
// when block 10700 holds an options update (10704) or a learning-path file.
uint16_t ContentAttributes(exchange::RecordFile& item);

}  // namespace quorvel
