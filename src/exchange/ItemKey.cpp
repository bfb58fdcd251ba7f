#include "exchange/ItemKey.h"

#include "exchange/RecordKinds.h"

namespace quorvel::exchange {

namespace {

constexpr char16_t kDigits[] = u"0123456789abcdef";
constexpr size_t kTextLength = 40;

int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

bool PutKey(RecordFile& file, uint16_t tag, const std::optional<ItemKey>& key) {
  file.Remove(tag);
  return !key || file.PutWide(tag, WideString(key->Text()));
}

std::optional<ItemKey> GetKey(RecordFile& file, uint16_t tag) {
  WideString text;
  if (!file.GetWide(tag, text)) return std::nullopt;
  return ItemKey::FromText(text.View());
}

}  // namespace

std::u16string ItemKey::Text() const {
  std::u16string text;
  text.reserve(kTextLength);
  for (const uint8_t byte : mailbox) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(item >> shift) & 15];
  return text;
}

std::optional<ItemKey> ItemKey::FromText(std::u16string_view text) {
  if (text.size() != kTextLength) return std::nullopt;
  ItemKey key;
  for (size_t i = 0; i < kTextLength; ++i) {
    const int value = DigitValue(text[i]);
    if (value < 0) return std::nullopt;
    if (i < 2 * key.mailbox.size()) {
      key.mailbox[i / 2] = static_cast<uint8_t>(key.mailbox[i / 2] << 4 | value);
    } else {
      key.item = key.item << 4 | static_cast<uint32_t>(value);
    }
  }
  return key;
}

size_t ItemKeyHash::operator()(const ItemKey& key) const noexcept {
  // The mailbox part is random: a few of its bytes spread keys well enough.
  size_t hash = key.item;
  for (size_t i = 0; i < 8; ++i) hash = hash * 131 + key.mailbox[i];
  return hash;
}

bool WriteStampKeys(RecordFile& file, const StampKeys& keys) {
  if (!file.EnterBlock(kBlockItemStamp)) return false;
  const bool own = PutKey(file, ItemKey::kTagOwn, keys.own);
  const bool parent = PutKey(file, ItemKey::kTagParent, keys.parent);
  file.LeaveBlock();
  return own && parent;
}

StampKeys ReadStampKeys(RecordFile& file) {
  StampKeys keys;
  if (!file.EnterBlock(kBlockItemStamp)) return keys;
  keys.own = GetKey(file, ItemKey::kTagOwn);
  keys.parent = GetKey(file, ItemKey::kTagParent);
  file.LeaveBlock();
  return keys;
}

}  // namespace quorvel::exchange
