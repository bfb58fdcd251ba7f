#include "exchange/Archive.h"

#include <algorithm>
#include <cstring>

namespace quorvel::exchange {

void ArchiveWriter::Grow(size_t size) {
  bytes_.resize(std::max({2 * bytes_.size(), size_ + size, size_t{64}}));
}

void ArchiveWriter::WriteBytes(const void* data, size_t size) {
  if (size != 0) std::memcpy(Room(size), data, size);
}

void ArchiveWriter::WriteString(std::string_view text) {
  const size_t length = text.size();
  if (length < 0xFF) {
    WriteU8(static_cast<uint8_t>(length));
  } else if (length < 0xFFFE) {
    WriteU8(0xFF);
    WriteU16(static_cast<uint16_t>(length));
  } else {
    WriteU8(0xFF);
    WriteU16(0xFFFF);
    WriteU32(static_cast<uint32_t>(length));
  }
  WriteBytes(text.data(), length);
}

void ArchiveWriter::WriteCount(uint32_t count) {
  if (count < 0xFFFF) {
    WriteU16(static_cast<uint16_t>(count));
  } else {
    WriteU16(0xFFFF);
    WriteU32(count);
  }
}

void ArchiveWriter::WriteStringList(const std::vector<std::string>& list) {
  WriteCount(static_cast<uint32_t>(list.size()));
  for (const std::string& text : list) WriteString(text);
}

void ArchiveReader::RanOut() { throw ArchiveError("unexpected end of the archive"); }

std::string ArchiveReader::ReadString() {
  uint32_t length = ReadU8();
  if (length == 0xFF) {
    length = ReadU16();
    if (length == 0xFFFF) length = ReadU32();
  }
  return std::string(ReadBytes(length));
}

uint32_t ArchiveReader::ReadCount() {
  const uint16_t count = ReadU16();
  return count == 0xFFFF ? ReadU32() : count;
}

std::vector<std::string> ArchiveReader::ReadStringList() {
  const uint32_t count = ReadCount();
  RequireRoomFor(count, 1);
  std::vector<std::string> list;
  list.reserve(count);
  for (uint32_t i = 0; i < count; ++i) list.push_back(ReadString());
  return list;
}

void ArchiveReader::RequireRoomFor(uint64_t count, size_t minimumSize) const {
  if (count > Remaining() / minimumSize) throw ArchiveError("a count runs past the end of the archive");
}

}  // namespace quorvel::exchange
