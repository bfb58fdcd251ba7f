// The archive: the byte forms in which values are stored and loaded (all
// little-endian, nothing added around what an object writes). ArchiveWriter
// collects the bytes in memory; ArchiveReader loads from bytes the caller has
// read, so that no count in the data can make it read or allocate beyond them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel::exchange {

// Loading ran past the end of the data or met a form it cannot read.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes go straight into the string's memory (one inline capacity check
// each): an index of ten thousand entries is written on every save.
class ArchiveWriter {
 public:
  ArchiveWriter() = default;
  // Writes over the bytes of `buffer`, so that a buffer handed from one
  // writer to the next is neither allocated nor cleared again.
  explicit ArchiveWriter(std::string buffer) : bytes_(std::move(buffer)) {}

  void WriteU8(uint8_t value) { *Room(1) = static_cast<char>(value); }
  void WriteU16(uint16_t value) {
    char* at = Room(2);
    at[0] = static_cast<char>(value);
    at[1] = static_cast<char>(value >> 8);
  }
  void WriteU32(uint32_t value) {
    char* at = Room(4);
    for (int i = 0; i < 4; ++i) at[i] = static_cast<char>(value >> (8 * i));
  }
  // Each unit as a u16.
  void WriteU16s(std::u16string_view units) {
    char* at = Room(2 * units.size());
    for (const char16_t unit : units) {
      *at++ = static_cast<char>(unit);
      *at++ = static_cast<char>(unit >> 8);
    }
  }
  void WriteBytes(const void* data, size_t size);
  // An archive string: a length prefix (one byte below 255; 0xFF and a u16
  // below 0xFFFE; else 0xFF, 0xFFFF and a u32), then the bytes, no terminator.
  void WriteString(std::string_view text);
  // An archive count: a u16 below 0xFFFF, else 0xFFFF and a u32.
  void WriteCount(uint32_t count);
  void WriteStringList(const std::vector<std::string>& list);

  size_t Size() const { return size_; }
  const std::string& Bytes() {
    bytes_.resize(size_);
    return bytes_;
  }
  // The bytes, leaving the writer empty.
  std::string TakeBytes() {
    bytes_.resize(size_);
    size_ = 0;
    return std::move(bytes_);
  }

 private:
  // `size` more bytes at the end, to be written by the caller.
  char* Room(size_t size) {
    if (bytes_.size() - size_ < size) Grow(size);
    char* at = bytes_.data() + size_;
    size_ += size;
    return at;
  }
  void Grow(size_t size);

  std::string bytes_;  // the first size_ bytes are written, the rest is room
  size_t size_ = 0;
};

class ArchiveReader {
 public:
  // The reader keeps a view: the bytes must outlive it.
  explicit ArchiveReader(std::string_view bytes) : bytes_(bytes) {}
  explicit ArchiveReader(std::string&&) = delete;

  // The fixed-size reads are inline: an index of fifty thousand entries is
  // read at every open.
  uint8_t ReadU8() { return static_cast<uint8_t>(*Take(1)); }
  uint16_t ReadU16() {
    const auto* b = reinterpret_cast<const uint8_t*>(Take(2));
    return static_cast<uint16_t>(b[0] | b[1] << 8);
  }
  uint32_t ReadU32() {
    const auto* b = reinterpret_cast<const uint8_t*>(Take(4));
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  }
  // The next `size` bytes; throws when fewer remain.
  std::string_view ReadBytes(size_t size) { return std::string_view(Take(size), size); }
  std::string ReadString();
  uint32_t ReadCount();
  std::vector<std::string> ReadStringList();

  size_t Remaining() const { return bytes_.size() - position_; }
  size_t Position() const { return position_; }
  // Throws unless `count` items of at least `minimumSize` bytes each can
  // still follow: checked before anything is allocated for them.
  void RequireRoomFor(uint64_t count, size_t minimumSize) const;

 private:
  // Where the next `size` bytes start, passed over; throws when fewer remain.
  const char* Take(size_t size) {
    if (size > Remaining()) RanOut();
    const char* at = bytes_.data() + position_;
    position_ += size;
    return at;
  }
  [[noreturn]] static void RanOut();

  std::string_view bytes_;
  size_t position_ = 0;
};

}  // namespace quorvel::exchange
