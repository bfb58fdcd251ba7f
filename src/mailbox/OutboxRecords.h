// What the index says of the items still to be sent, kept a second time in
// the side file "Mailbox.outbox" beside it, so that an index rebuilt from
// the item files (or an item file filed again because the index did not
// list it) finds them still queued: an item file does not tell whether it
// went.
//
// Form (u32 little-endian): the magic "QOUT"; then records, each its length,
// its bytes and the CRC-32 (Crc32.h) of those bytes. A record's bytes: u8 1
// (queued) or 0 (gone: sent, or no longer queued), the item's id and the
// mark of its entry (ItemKeys.h), and for a queued item its routes (a string
// list) and its names (a CodedTextArray), in the index's own forms. A later
// record of an id replaces an earlier one; queued items keep the order of
// their first record. The file is made with the first record. Records are
// appended, never synced: a torn record and
// whatever follows it count for nothing. At worst an item sent just before a
// crash comes back queued, and goes again (a receiver files an item it holds
// already once). The file is written anew with only the queue when it holds
// many more records than that.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "mailbox/ItemIndex.h"
#include "platform/File.h"

namespace quorvel {

inline constexpr const char* kOutboxFileName = "Mailbox.outbox";

class OutboxRecords {
 public:
  // Reads the records of `directory`'s side file (none when it does not read).
  void Read(const std::string& directory);
  // Gives the items of `index` whose ids are in `ids` and whose entries the
  // records name as queued their routes, names and the not-sent bit, and
  // queues them (in the records' order) unless queued already. Answers how
  // many.
  uint32_t Restore(MailboxIndex& index, const std::unordered_set<uint32_t>& ids) const;
  // Holds the side file for appending (unless `readOnly`), written anew from
  // `index` when it has grown past the queue. Never throws on a file error:
  // the records are then not kept.
  void Attach(const std::string& directory, const MailboxIndex& index, bool readOnly);
  void Close();

  void Queued(uint32_t id, const IndexEntry& entry);
  void Gone(uint32_t id);

 private:
  struct Held {
    uint32_t mark = 0;
    uint64_t order = 0;
    std::vector<std::string> routes;
    std::string names;  // the CodedTextArray's form
  };
  void Append(const std::string& record);
  void WriteAnew(const std::string& directory, const MailboxIndex& index);

  std::string path_;  // where the file is made when it is not held
  // The queued records of bytes_, by id.
  std::unordered_map<uint32_t, Held> Queue() const;

  std::string bytes_;  // the file as read, until Attach
  uint64_t records_ = 0;
  uint64_t end_ = 0;  // where the last whole record ends
  platform::File file_;
};

}  // namespace quorvel
