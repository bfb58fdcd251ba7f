#include "exchange/RecordFormat.h"

namespace quorvel::exchange {

const char* ValueTypeName(uint16_t type) {
  switch (type) {
    case kTypeU32: return "U32";
    case kTypeTime: return "Time";
    case kTypeByte: return "Byte";
    case kTypeWide: return "Wide";
    case kTypeObject: return "Object";
    case kTypeBlock: return "Block";
    case kTypeCoded: return "Coded";
    case kTypeFile: return "File";
    default: return "unknown";
  }
}

void EncodeHeader(const RecordHeader& header, uint8_t (&bytes)[kHeaderSize]) {
  StoreU32(bytes, header.magic);
  StoreU16(bytes + 4, header.version);
  StoreU32(bytes + 6, header.headerSize);
  StoreU32(bytes + 10, header.directoryOffset);
  StoreU32(bytes + 14, header.fileLength);
  StoreU32(bytes + 18, header.crc);
}

RecordHeader DecodeHeader(const uint8_t (&bytes)[kHeaderSize]) {
  RecordHeader header;
  header.magic = LoadU32(bytes);
  header.version = LoadU16(bytes + 4);
  header.headerSize = LoadU32(bytes + 6);
  header.directoryOffset = LoadU32(bytes + 10);
  header.fileLength = LoadU32(bytes + 14);
  header.crc = LoadU32(bytes + 18);
  return header;
}

uint64_t RecordLengthFromHead(const uint8_t* head) {
  const uint32_t magic = LoadU32(head);
  const uint32_t length = LoadU32(head + 14);
  if (magic != kMagicStandard && magic != kMagicAlternative) return 0;
  return length < kHeaderSize ? 0 : length;
}

}  // namespace quorvel::exchange
