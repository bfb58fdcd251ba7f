// The outbox queue of a "Mailbox.inv" image, found by walking the file as
// its format lays it out: the 21-byte head, and when it counts entries, the
// id array (element size, count, grow-by, the ids) and each entry (file
// name, correspondent, three times, depth, attributes, name list, two
// flags, kind, out routes); then a count and that many u32 ids, the last
// bytes of the file. Little-endian throughout. Nothing when the image ends
// early or runs on past the queue.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quorvel::testing {

class IndexQueueReader {
 public:
  explicit IndexQueueReader(std::string_view image) : rest_(image) {}

  std::optional<std::vector<uint32_t>> Queue() {
    Skip(16);  // magic, version, next id, save time
    const uint32_t entries = U32();
    Skip(1);  // sorted
    if (entries != 0) Skip(12 + 4ull * entries);
    for (uint32_t i = 0; i < entries && ok_; ++i) SkipEntry();
    std::vector<uint32_t> queue(ok_ ? Count() : 0);
    for (uint32_t& id : queue) id = U32();
    if (!ok_ || !rest_.empty()) return std::nullopt;
    return queue;
  }

 private:
  void SkipEntry() {
    SkipString();  // file name
    SkipCodedText();  // correspondent
    Skip(4 + 4 + 4 + 1 + 2);
    for (uint32_t names = U32(); names > 0 && ok_; --names) SkipCodedText();
    Skip(1 + 1 + 4);
    for (uint32_t routes = Count(); routes > 0 && ok_; --routes) SkipString();
  }
  // A u16, or 0xFFFF and a u32.
  uint32_t Count() {
    const uint32_t count = U16();
    return count == 0xFFFF ? U32() : count;
  }
  // A u8 length, or 0xFF and a count; then the bytes.
  void SkipString() {
    const uint32_t length = U8();
    Skip(length == 0xFF ? Count() : length);
  }
  // A u16 code page, a u32 count, that many UTF-16 units.
  void SkipCodedText() {
    Skip(2);
    Skip(2ull * U32());
  }
  uint32_t Number(size_t size) {
    uint32_t value = 0;
    if (ok_ && rest_.size() >= size) {
      for (size_t i = 0; i < size; ++i) value |= uint32_t{static_cast<uint8_t>(rest_[i])} << (8 * i);
    }
    Skip(size);
    return value;
  }
  uint32_t U8() { return Number(1); }
  uint32_t U16() { return Number(2); }
  uint32_t U32() { return Number(4); }
  void Skip(uint64_t size) {
    ok_ = ok_ && rest_.size() >= size;
    if (ok_) rest_.remove_prefix(size);
  }

  std::string_view rest_;
  bool ok_ = true;
};

}  // namespace quorvel::testing
