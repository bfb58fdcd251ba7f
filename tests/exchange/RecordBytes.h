// Byte builders for the exchange tests: little-endian fields, entries, directories, record
// files sealed with a CRC computed here bit by bit, independently of the library's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::testing {

inline uint32_t ReferenceCrc(std::string_view bytes) {
  uint32_t crc = 0;
  for (const char c : bytes) {
    crc ^= uint32_t{static_cast<uint8_t>(c)} << 24;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
  }
  return crc;
}

inline std::string U16(uint16_t value) {
  return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

inline std::string U32(uint32_t value) { return U16(value & 0xFFFF) + U16(value >> 16); }

inline std::string Entry(uint16_t tag, uint16_t type, uint32_t value) {
  return U16(tag) + U16(type) + U32(value);
}

// A directory: the blocks in index order, each the concatenation of its entries.
inline std::string Directory(const std::vector<std::vector<std::string>>& blocks) {
  std::string bytes = U16(static_cast<uint16_t>(blocks.size()));
  for (const auto& entries : blocks) {
    bytes += U16(static_cast<uint16_t>(entries.size()));
    for (const std::string& entry : entries) bytes += entry;
  }
  return bytes;
}

// A record file whose value area is `values` (starting at offset 22) and whose
// directory follows it; the header's CRC is right unless `crc` is given.
inline std::string RecordFileBytes(const std::string& values, const std::string& directory,
                                   std::string_view magic = "QVS") {
  const std::string body = values + directory;
  const auto directoryOffset = static_cast<uint32_t>(22 + values.size());
  return std::string(magic) + '\0' + U16(100) + U32(22) + U32(directoryOffset) +
         U32(static_cast<uint32_t>(22 + body.size())) + U32(ReferenceCrc(body)) + body;
}

// Recomputes the CRC field of a record file's bytes (after a deliberate change).
inline std::string Resealed(std::string file) {
  if (file.size() < 22) return file;
  const std::string crc = U32(ReferenceCrc(std::string_view(file).substr(22)));
  file.replace(18, 4, crc);
  return file;
}

inline std::string Hex(std::string_view bytes) {
  std::string text;
  char digits[4];
  for (const char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02X ", static_cast<uint8_t>(c));
    text += digits;
  }
  return text;
}

}  // namespace quorvel::testing
