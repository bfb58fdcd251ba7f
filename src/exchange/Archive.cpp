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

std::string_view ArchiveReader::ReadBytes(size_t size) {
  if (size > Remaining()) throw ArchiveError("unexpected end of the archive");
  const std::string_view part = bytes_.substr(position_, size);
  position_ += size;
  return part;
}

uint8_t ArchiveReader::ReadU8() { return static_cast<uint8_t>(ReadBytes(1)[0]); }

uint16_t ArchiveReader::ReadU16() {
  const std::string_view b = ReadBytes(2);
  return static_cast<uint16_t>(static_cast<uint8_t>(b[0]) | static_cast<uint8_t>(b[1]) << 8);
}

uint32_t ArchiveReader::ReadU32() {
  const std::string_view b = ReadBytes(4);
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(b[i]);
  return value;
}

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
