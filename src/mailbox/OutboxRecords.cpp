#include "mailbox/OutboxRecords.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "exchange/Archive.h"
#include "exchange/ArchiveForms.h"
#include "exchange/Crc32.h"
#include "mailbox/ItemKeys.h"
#include "mailbox/SideFile.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

constexpr char kMagic[] = "QOUT";
constexpr uint8_t kQueued = 1;
constexpr uint8_t kGone = 0;

uint32_t GetU32(std::string_view bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// A record as the file holds it: its length, its bytes, their CRC-32.
std::string Framed(const std::string& body) {
  exchange::ArchiveWriter framed;
  framed.WriteU32(static_cast<uint32_t>(body.size()));
  framed.WriteBytes(body.data(), body.size());
  framed.WriteU32(exchange::Crc32::Of(body.data(), body.size()));
  return framed.TakeBytes();
}

std::string QueuedRecord(uint32_t id, const IndexEntry& entry) {
  exchange::ArchiveWriter body;
  body.WriteU8(kQueued);
  body.WriteU32(id);
  body.WriteU32(MarkOf(entry));
  body.WriteStringList(entry.outRoutes);
  exchange::Store(body, entry.nameList);
  return Framed(body.TakeBytes());
}

std::string ReadWhole(const std::string& path) {
  std::optional<platform::File> file = platform::File::TryOpen(
      path, platform::FileAccess::Read, platform::FileShare::DenyWrite,
      platform::FileDisposition::OpenExisting);
  if (!file) return {};
  std::string bytes(file->Length(), '\0');
  bytes.resize(file->Read(bytes.data(), bytes.size()));
  return bytes;
}

}  // namespace

void OutboxRecords::Read(const std::string& directory) {
  Close();
  try {
    bytes_ = ReadWhole(directory + kOutboxFileName);
  } catch (const platform::FileError&) {
    bytes_.clear();
  } catch (const std::bad_alloc&) {
    bytes_.clear();
  }
  if (bytes_.size() < 4 || bytes_.compare(0, 4, kMagic) != 0) {
    bytes_.clear();
    return;
  }
  // Only the frames are checked here; an open that needs the records reads
  // them (Restore).
  const std::string_view all(bytes_);
  size_t at = 4;
  while (at + 8 <= all.size()) {
    const uint32_t length = GetU32(all, at);
    if (length > all.size() - at - 8) break;
    const std::string_view body = all.substr(at + 4, length);
    if (GetU32(all, at + 4 + length) != exchange::Crc32::Of(body.data(), body.size())) break;
    ++records_;
    at += 8 + length;
  }
  end_ = at;
}

std::unordered_map<uint32_t, OutboxRecords::Held> OutboxRecords::Queue() const {
  std::unordered_map<uint32_t, Held> queued;
  const std::string_view all(bytes_);
  uint64_t order = 0;
  try {
    for (size_t at = 4; at < end_; ++order) {
      const uint32_t length = GetU32(all, at);
      exchange::ArchiveReader reader(all.substr(at + 4, length));
      at += 8 + length;
      const uint8_t kind = reader.ReadU8();
      const uint32_t id = reader.ReadU32();
      const uint32_t mark = reader.ReadU32();
      if (kind != kQueued) {
        queued.erase(id);
        continue;
      }
      Held held{mark, order, reader.ReadStringList(), std::string(reader.ReadBytes(reader.Remaining()))};
      const auto [place, fresh] = queued.try_emplace(id, held);
      if (!fresh) {
        held.order = place->second.order;
        place->second = std::move(held);
      }
    }
  } catch (const exchange::ArchiveError&) {
    // A record that checks but does not read ends the records.
  }
  return queued;
}

uint32_t OutboxRecords::Restore(MailboxIndex& index, const std::unordered_set<uint32_t>& ids) const {
  if (ids.empty()) return 0;
  std::unordered_map<uint32_t, Held> queued;
  try {
    queued = Queue();
  } catch (const std::bad_alloc&) {
    return 0;
  }
  std::vector<std::pair<uint64_t, uint32_t>> restored;  // (order, id)
  for (uint32_t i = 0; i < index.Count(); ++i) {
    const uint32_t id = index.IdAt(i);
    if (ids.count(id) == 0) continue;
    const auto found = queued.find(id);
    if (found == queued.end() || found->second.mark != MarkOf(std::as_const(index).EntryAt(i))) {
      continue;
    }
    IndexEntry& entry = index.EntryAt(i);
    try {
      CodedTextArray names;
      exchange::ArchiveReader reader(found->second.names);
      exchange::Load(reader, names);
      entry.nameList = names;
    } catch (const exchange::ArchiveError&) {
      // The routes matter more than the names.
    }
    entry.outRoutes = found->second.routes;
    entry.attributes |= kItemNotSent;
    restored.emplace_back(found->second.order, id);
  }
  std::sort(restored.begin(), restored.end());
  for (const auto& [order, id] : restored) {
    if (std::find(index.outboxQueue.begin(), index.outboxQueue.end(), id) == index.outboxQueue.end()) {
      index.outboxQueue.push_back(id);
    }
  }
  return static_cast<uint32_t>(restored.size());
}

void OutboxRecords::Attach(const std::string& directory, const MailboxIndex& index, bool readOnly) {
  bytes_.clear();
  bytes_.shrink_to_fit();
  if (readOnly) return;
  const std::string path = directory + kOutboxFileName;
  try {
    if (end_ < 4 && index.outboxQueue.empty()) {
      path_ = path;  // made with the first record
      return;
    }
    if (end_ < 4 || records_ > 2 * index.outboxQueue.size() + 64) {
      WriteAnew(directory, index);
      return;
    }
    file_ = platform::File::Open(path, platform::FileAccess::ReadWrite,
                                 platform::FileShare::Exclusive,
                                 platform::FileDisposition::OpenExisting);
    // A torn record and whatever follows it go.
    file_.SetLength(end_);
    file_.Seek(0, platform::SeekOrigin::End);
  } catch (const platform::FileError&) {
    file_.Close();
  } catch (const std::bad_alloc&) {
    file_.Close();
  }
}

void OutboxRecords::WriteAnew(const std::string& directory, const MailboxIndex& index) {
  std::string bytes(kMagic, 4);
  for (const uint32_t id : index.outboxQueue) {
    if (const std::optional<uint32_t> position = index.Find(id)) {
      bytes += QueuedRecord(id, index.EntryAt(*position));
    }
  }
  RewriteSideFile(directory + kOutboxFileName, bytes, file_);
}

void OutboxRecords::Close() {
  file_.Close();
  path_.clear();
  bytes_.clear();
  records_ = 0;
  end_ = 0;
}

void OutboxRecords::Queued(uint32_t id, const IndexEntry& entry) {
  try {
    Append(QueuedRecord(id, entry));
  } catch (const std::bad_alloc&) {
  }
}

void OutboxRecords::Gone(uint32_t id) {
  exchange::ArchiveWriter body;
  body.WriteU8(kGone);
  body.WriteU32(id);
  body.WriteU32(0);
  try {
    Append(Framed(body.TakeBytes()));
  } catch (const std::bad_alloc&) {
  }
}

void OutboxRecords::Append(const std::string& record) {
  try {
    if (!file_.IsOpen()) {
      if (path_.empty()) return;
      file_ = platform::File::Open(path_, platform::FileAccess::ReadWrite,
                                   platform::FileShare::Exclusive,
                                   platform::FileDisposition::CreateAlways);
      path_.clear();
      file_.Write(kMagic, 4);
    }
    file_.Write(record.data(), record.size());
  } catch (const platform::FileError&) {
    // The index still says it; only a rebuild would miss it.
    file_.Close();
  }
}

}  // namespace quorvel
