// The keys of a mailbox's items (exchange/ItemKey.h), held in memory while
// the mailbox is open: which item of the mailbox has a given key, and the key
// of a given item. Receiving finds through them the item a received one
// answers, and an item it holds already.
//
// They are kept in the side file "Mailbox.keys" beside the index, so that an
// open need not read every item's stamp. Its form (u32 little-endian): the
// magic "QKEY", the 16 bytes of the mailbox key, the CRC-32 (Crc32.h) of
// those 20 bytes; then one 32-byte record per item filed: its id, a mark of
// its index entry (the CRC-32 of its file name followed by its date), the 16
// bytes and the id of its key (all zero for an item without a key), and the
// CRC-32 of the record's first 28 bytes. The file is only a faster way to
// what the stamps say: a record is appended when an item is filed, never
// synced; a record that is torn, or whose id and mark do not match an
// entry of the index (an id given out again after a crash, an index rebuilt),
// counts for nothing, and the item's stamp is read instead. A file that has
// no readable head, or that has grown to hold many more records than the
// index has items, is written anew (through "Mailbox.keys.new", replaced in
// one step), keeping the mailbox key when its head reads.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "exchange/ItemKey.h"
#include "mailbox/ItemIndex.h"
#include "platform/File.h"

namespace quorvel {

inline constexpr const char* kKeysFileName = "Mailbox.keys";
// Logged when a received item is one the mailbox holds already (key 8: the
// received file).
inline constexpr uint32_t kEventItemReceivedTwice = 100040;

// What ties a side record to one filing of an item (the CRC-32 of its file
// name followed by its date): an id given out again after a crash comes with
// another file name or another date.
uint32_t MarkOf(const IndexEntry& entry);

class ItemKeys {
 public:
  // Learns the key of every item of `index` in `directory`, making the side
  // file (and the mailbox key) when the mailbox has none. Never throws on a
  // file error: the keys are then only in memory.
  void Open(const std::string& directory, const MailboxIndex& index, bool readOnly);
  void Close();

  // The key this mailbox gives the item it files with `id`.
  exchange::ItemKey NewKey(uint32_t id) const { return {mailboxKey_, id}; }
  std::optional<exchange::ItemKey> KeyOf(uint32_t id) const;
  // The id of the item of `index` whose key is `key`.
  std::optional<uint32_t> Find(const exchange::ItemKey& key, const MailboxIndex& index) const;
  // An item was filed with `key` (none: it has none).
  void Learn(uint32_t id, const IndexEntry& entry, const std::optional<exchange::ItemKey>& key);

 private:
  void Load(const std::string& directory, const MailboxIndex& index, bool readOnly);
  // Enters the keys learnt at the open into the lookups, at the first call
  // that needs them: a mailbox only looked at never builds them.
  void BuildLookups() const;
  void Remember(uint32_t id, const std::optional<exchange::ItemKey>& key) const;
  void Append(const std::string& records);
  void WriteAnew(const std::string& directory, const MailboxIndex& index);

  std::array<uint8_t, 16> mailboxKey_{};
  // The key of each item of the index at the open, in its order, until
  // BuildLookups enters them.
  mutable std::vector<std::pair<uint32_t, std::optional<exchange::ItemKey>>> opened_;
  mutable std::unordered_map<uint32_t, exchange::ItemKey> byId_;
  mutable std::unordered_map<exchange::ItemKey, uint32_t, exchange::ItemKeyHash> byKey_;
  platform::File file_;  // open for appending while the mailbox is writable
};

}  // namespace quorvel
