#include "mailbox/IndexFormat.h"

#include <algorithm>
#include <optional>

#include "exchange/ArchiveForms.h"

namespace quorvel {

using exchange::ArchiveError;
using exchange::ArchiveReader;
using exchange::ArchiveWriter;

namespace {

// The smallest entry: every string, text and list empty.
constexpr uint32_t kLargestGrowBy = 0x10000;

constexpr size_t kSmallestEntry = 1 + 6 + 4 + 4 + 4 + 1 + 2 + 4 + 1 + 1 + 4 + 2;

}  // namespace

void WriteIndexEntry(ArchiveWriter& archive, const IndexEntry& entry) {
  archive.WriteString(entry.fileName);
  exchange::Store(archive, entry.correspondent);
  archive.WriteU32(entry.writtenTime);
  archive.WriteU32(entry.date);
  archive.WriteU32(entry.sourceId);
  archive.WriteU8(entry.depth);
  archive.WriteU16(entry.attributes);
  exchange::Store(archive, entry.nameList);  // u32 count, then code page and text of each
  archive.WriteU8(entry.messageFlagA);
  archive.WriteU8(entry.messageFlagB);
  archive.WriteU32(entry.messageType);
  archive.WriteStringList(entry.outRoutes);
}

bool IsPlainFileName(std::string_view name) {
  if (name == "." || name == "..") return false;
  // One pass, not one search per character refused: fifty thousand names at an open.
  return std::none_of(name.begin(), name.end(), [](char c) {
    return c == '/' || c == '\\' || c == ':' || c == '\0';
  });
}

std::unique_ptr<IndexEntry> ReadIndexEntry(ArchiveReader& archive) {
  auto entry = std::make_unique<IndexEntry>();
  entry->fileName = archive.ReadString();
  if (!IsPlainFileName(entry->fileName)) {
    throw ArchiveError("an entry names a file outside the mailbox");
  }
  exchange::Load(archive, entry->correspondent);
  entry->writtenTime = archive.ReadU32();
  entry->date = archive.ReadU32();
  entry->sourceId = archive.ReadU32();
  entry->depth = archive.ReadU8();
  entry->attributes = archive.ReadU16();
  exchange::Load(archive, entry->nameList);
  entry->messageFlagA = archive.ReadU8();
  entry->messageFlagB = archive.ReadU8();
  entry->messageType = archive.ReadU32();
  entry->outRoutes = archive.ReadStringList();
  return entry;
}

std::string EncodeIndexImage(uint32_t nextId, uint32_t saveTime, const MailboxIndex& index) {
  return EncodeIndexParts(nextId, saveTime, index).bytes;
}

void EncodeIndexParts(uint32_t nextId, uint32_t saveTime, const MailboxIndex& index,
                      IndexImage& image) {
  size_t part = 0;
  ArchiveWriter archive(std::move(image.bytes));
  image.entryStarts.clear();
  const auto partEnds = [&] { image.bounds[++part] = archive.Size(); };
  archive.WriteU32(kIndexMagic);
  archive.WriteU32(kIndexVersion);
  archive.WriteU32(nextId);
  archive.WriteU32(saveTime);
  archive.WriteU32(index.Count());
  archive.WriteU8(index.IsSorted() ? 1 : 0);
  partEnds();
  if (index.Count() != 0) {
    exchange::Store(archive, index.Ids());
    image.bounds[++part] = archive.Size() - index.Count() * sizeof(uint32_t);
    partEnds();
    image.entryStarts.reserve(index.Count() + 1);
    for (uint32_t i = 0; i < index.Count(); ++i) {
      image.entryStarts.push_back(archive.Size());
      WriteIndexEntry(archive, index.EntryAt(i));
    }
    partEnds();
    image.entryStarts.push_back(archive.Size());
  } else {
    for (int empty = 0; empty < 3; ++empty) partEnds();
  }
  archive.WriteCount(static_cast<uint32_t>(index.outboxQueue.size()));
  partEnds();
  for (const uint32_t id : index.outboxQueue) archive.WriteU32(id);
  partEnds();
  image.bytes = archive.TakeBytes();
}

IndexHead ReadIndexHead(ArchiveReader& archive) {
  IndexHead head;
  head.magic = archive.ReadU32();
  if (head.magic != kIndexMagic) throw ArchiveError("not an index file: wrong magic");
  head.version = archive.ReadU32();
  if (head.version != kIndexVersion) throw ArchiveError("unsupported index version");
  head.nextId = archive.ReadU32();
  head.lastSaveTime = archive.ReadU32();
  head.count = archive.ReadU32();
  head.sorted = archive.ReadU8();
  archive.RequireRoomFor(head.count, kSmallestEntry + 4);  // an id and an entry each
  return head;
}

U32Array ReadIdArray(ArchiveReader& archive, uint32_t count) {
  archive.ReadU32();  // the element size, not checked
  if (archive.ReadU32() != count) throw ArchiveError("the id array does not match the entry count");
  const uint32_t growBy = archive.ReadU32();
  // The array grows by its stored step once the next item is filed: a step no
  // writer makes would ask for gigabytes.
  if (growBy > kLargestGrowBy && growBy != 0xFFFFFFFF) {
    throw ArchiveError("the id array's grow-by is not plausible");
  }
  archive.RequireRoomFor(count, 4);
  U32Array ids(growBy == 0xFFFFFFFF ? ItemIndex::kGrowBy : growBy);
  ids.SetSize(count);
  for (uint32_t& id : ids) id = archive.ReadU32();
  return ids;
}

std::vector<uint32_t> ReadOutboxQueue(ArchiveReader& archive) {
  const uint32_t count = archive.ReadCount();
  archive.RequireRoomFor(count, 4);
  std::vector<uint32_t> queue(count);
  for (uint32_t& id : queue) id = archive.ReadU32();
  return queue;
}

IndexHead DecodeIndexImage(std::string_view image, MailboxIndex& index) {
  index.Reset();
  index.outboxQueue.clear();
  ArchiveReader archive(image);
  const IndexHead head = ReadIndexHead(archive);
  U32Array ids(ItemIndex::kGrowBy);
  std::vector<std::unique_ptr<IndexEntry>> entries;
  if (head.count != 0) {
    ids = ReadIdArray(archive, head.count);
    entries.reserve(head.count);
    for (uint32_t i = 0; i < head.count; ++i) entries.push_back(ReadIndexEntry(archive));
  }
  std::vector<uint32_t> queue = ReadOutboxQueue(archive);
  index.Assign(std::move(ids), std::move(entries), head.sorted != 0);
  index.outboxQueue = std::move(queue);
  return head;
}

}  // namespace quorvel
