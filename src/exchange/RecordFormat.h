// The byte layout of a record file: the 22-byte header, the 8-byte tag
// entries that make up the blocks of the directory, the value types, and the
// log site numbers of the places where the header and directory are read and
// written. All integers are little-endian.
#pragma once

#include <cstdint>
#include <string>

#include "exchange/Packing.h"
#include "quorvel/GrowableArray.h"

namespace quorvel::exchange {

struct TagEntry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t value = 0;  // inline value, offset of the stored value, or block index
};
static_assert(sizeof(TagEntry) == 8, "a tag entry is 8 bytes in memory and on disk");

// One block of a record file; the block list owns them all, block 0 is the root.
using TagEntryArray = GrowableArray<TagEntry>;
using BlockList = OwningArray<TagEntryArray>;
inline constexpr uint32_t kBlockListGrowBy = 20;

enum ValueType : uint16_t {
  kTypeU32 = 1,
  kTypeTime = 3,
  kTypeByte = 5,
  kTypeWide = 8,
  kTypeObject = 10,
  kTypeBlock = 12,
  kTypeCoded = 13,
  kTypeFile = 15,
};
// "U32", "Time", ...; "unknown" for any other number.
const char* ValueTypeName(uint16_t type);

inline constexpr uint32_t kMagicStandard = 0x00535651;     // "QVS\0"
inline constexpr uint32_t kMagicAlternative = 0x00464C51;  // "QLF\0"
inline constexpr uint16_t kRecordVersion = 100;
inline constexpr uint32_t kHeaderSize = 22;

struct RecordHeader {
  uint32_t magic = kMagicStandard;
  uint16_t version = kRecordVersion;
  uint32_t headerSize = kHeaderSize;
  uint32_t directoryOffset = 0;
  uint32_t fileLength = 0;
  uint32_t crc = 0;  // over the bytes from offset 22 to the end of the file
};

void EncodeHeader(const RecordHeader& header, uint8_t (&bytes)[kHeaderSize]);
RecordHeader DecodeHeader(const uint8_t (&bytes)[kHeaderSize]);

// The length a record file whose first kHeaderSize bytes are `head` can
// have: the length its header announces, or 0 when the bytes cannot be the
// header of a record file (either magic; a length that holds the header).
uint64_t RecordLengthFromHead(const uint8_t* head);
// What unpacking an exchange file may produce: a record file, no longer than
// its header says.
inline constexpr UnpackExpectation kUnpackedRecordFile{kHeaderSize, &RecordLengthFromHead};

// Where a record file is damaged, for those who report it.
struct RecordDamage {
  uint64_t offset = 0;
  std::string what;
};

// Log site numbers of file errors caught in the header and directory code.
inline constexpr uint32_t kSiteHeaderWrite = 422;
inline constexpr uint32_t kSiteHeaderRead = 423;
inline constexpr uint32_t kSiteEntryRead = 425;
inline constexpr uint32_t kSiteHeaderUpdate = 426;
inline constexpr uint32_t kSiteDirectoryWrite = 427;
inline constexpr uint32_t kSiteBlockCountRead = 429;
inline constexpr uint32_t kSiteEntryCountRead = 430;
inline constexpr uint32_t kSiteDirectorySeek = 431;

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t LoadU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void StoreU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace quorvel::exchange
