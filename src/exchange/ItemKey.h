// The key of an item: the same in every mailbox the item reaches, unlike its
// id. It is the key of the mailbox where the item was first filed (128 random
// bits, made with that mailbox) and the item's id there. The stamp block
// carries the item's own key and, for a reply, the key of the item it
// answers, beside the ids; a reader that knows only the ids finds them as
// before.
//
// In the stamp a key is a Wide text of 40 lowercase hexadecimal digits: the
// 16 bytes of the mailbox key in order, then the item's id as 8 digits, most
// significant first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "exchange/RecordFile.h"

namespace quorvel::exchange {

struct ItemKey {
  static constexpr uint16_t kTagOwn = 10105;
  static constexpr uint16_t kTagParent = 10106;

  std::array<uint8_t, 16> mailbox{};
  uint32_t item = 0;

  bool operator==(const ItemKey&) const = default;
  std::u16string Text() const;
  // Nothing unless `text` is exactly 40 lowercase hexadecimal digits.
  static std::optional<ItemKey> FromText(std::u16string_view text);
};

struct ItemKeyHash {
  size_t operator()(const ItemKey& key) const noexcept;
};

// The keys a stamp carries.
struct StampKeys {
  std::optional<ItemKey> own;
  std::optional<ItemKey> parent;
};

// Writes the keys given into the existing stamp block, replacing what it held
// under their tags; a key not given is taken out.
bool WriteStampKeys(RecordFile& file, const StampKeys& keys);
// Nothing for a file without a stamp, a key absent or not a key.
StampKeys ReadStampKeys(RecordFile& file);

}  // namespace quorvel::exchange
