// The byte form of "Mailbox.inv": a 21-byte head (magic "INV ", version 5,
// nextId, save time, entry count, sorted flag), then, when there are entries,
// the id array and the entries, then the outbox queue. The pieces are read one
// by one so that a dump can show how far a damaged file reads; a whole image
// is read by DecodeIndexImage. Reading bounds every count by the bytes left.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/Archive.h"
#include "mailbox/ItemIndex.h"

namespace quorvel {

inline constexpr uint32_t kIndexMagic = 0x20564E49;  // "INV "
inline constexpr uint32_t kIndexVersion = 5;
// Ids above this are never given out (0xFFFFFFFF answers "no item").
inline constexpr uint32_t kHighestUsableId = 0xFFFFFFFE;

struct IndexHead {
  uint32_t magic = kIndexMagic;
  uint32_t version = kIndexVersion;
  uint32_t nextId = 1;
  uint32_t lastSaveTime = 0;
  uint32_t count = 0;
  uint8_t sorted = 1;
};

// The complete file image of an index.
std::string EncodeIndexImage(uint32_t nextId, uint32_t saveTime, const MailboxIndex& index);

// An image with the bounds of its parts, in file order: the head, the id
// array's own head, the ids, the entries, the outbox count and the queued ids
// (the three middle parts are empty when there are no entries). Part i is
// bytes [bounds[i], bounds[i + 1]), and entry i bytes [entryStarts[i],
// entryStarts[i + 1]). A filing shifts every later byte, so the changes
// between two images are looked for part by part and entry by entry.
enum IndexImagePart : size_t { kHeadPart, kIdHeadPart, kIdsPart, kEntriesPart, kOutboxCountPart, kOutboxPart };
inline constexpr size_t kIndexImageParts = 6;
struct IndexImage {
  std::string bytes;
  std::array<size_t, kIndexImageParts + 1> bounds{};
  std::vector<size_t> entryStarts;  // one more than there are entries
};
// Encodes into `image`, reusing its memory.
void EncodeIndexParts(uint32_t nextId, uint32_t saveTime, const MailboxIndex& index,
                      IndexImage& image);
inline IndexImage EncodeIndexParts(uint32_t nextId, uint32_t saveTime, const MailboxIndex& index) {
  IndexImage image;
  EncodeIndexParts(nextId, saveTime, index, image);
  return image;
}

// Pieces of the image, in file order. Each throws exchange::ArchiveError when
// the bytes end early or do not hold the piece; the reader's position then
// tells where.
IndexHead ReadIndexHead(exchange::ArchiveReader& archive);  // also rejects magic and version
U32Array ReadIdArray(exchange::ArchiveReader& archive, uint32_t count);
std::unique_ptr<IndexEntry> ReadIndexEntry(exchange::ArchiveReader& archive);
std::vector<uint32_t> ReadOutboxQueue(exchange::ArchiveReader& archive);

void WriteIndexEntry(exchange::ArchiveWriter& archive, const IndexEntry& entry);

// An entry's file name names a file inside the mailbox directory: no
// directory part on any system (no "/", "\\" or drive ":"), not "." or "..",
// no NUL. An empty name names no file. Reading an entry with any other name
// fails as damage does.
bool IsPlainFileName(std::string_view name);

// A whole image into `index` (replacing what it held). Throws
// exchange::ArchiveError on any damage; `index` is then left empty.
IndexHead DecodeIndexImage(std::string_view image, MailboxIndex& index);

}  // namespace quorvel
