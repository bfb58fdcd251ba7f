#include "mailbox/ItemKeys.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <cstring>
#include <new>
#include <random>
#include <string_view>

#include "exchange/Crc32.h"
#include "exchange/ExchangeFile.h"
#include "mailbox/SideFile.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

constexpr char kMagic[] = "QKEY";
constexpr size_t kHeadSize = 24;
constexpr size_t kRecordSize = 32;

void PutU32(std::string& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(value >> (8 * i) & 0xFF);
}

uint32_t GetU32(std::string_view bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

uint32_t Crc(std::string_view bytes) { return exchange::Crc32::Of(bytes.data(), bytes.size()); }

std::string Head(const std::array<uint8_t, 16>& mailboxKey) {
  std::string head(kMagic, 4);
  head.append(reinterpret_cast<const char*>(mailboxKey.data()), mailboxKey.size());
  PutU32(head, Crc(head));
  return head;
}

std::string Record(uint32_t id, uint32_t mark, const std::optional<exchange::ItemKey>& key) {
  std::string record;
  PutU32(record, id);
  PutU32(record, mark);
  const exchange::ItemKey written = key.value_or(exchange::ItemKey{});
  record.append(reinterpret_cast<const char*>(written.mailbox.data()), written.mailbox.size());
  PutU32(record, written.item);
  PutU32(record, Crc(record));
  return record;
}

std::array<uint8_t, 16> NewMailboxKey() {
  std::array<uint8_t, 16> key{};
  std::seed_seq::result_type seeds[4] = {};
  try {
    std::random_device device;
    for (auto& seed : seeds) seed = device();
  } catch (const std::exception&) {
  }
  // Mixed with the clock and this object's place, so that even a source
  // that gives the same numbers in every process makes different keys.
  const auto now = static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
  std::seed_seq sequence{seeds[0], seeds[1], seeds[2], seeds[3], static_cast<uint32_t>(now),
                         static_cast<uint32_t>(now >> 32),
                         static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&key))};
  uint32_t words[4] = {};
  sequence.generate(words, words + 4);
  std::memcpy(key.data(), words, key.size());
  return key;
}

// A record of the side file that reads: what it says of one filing.
struct SideRecord {
  uint32_t id = 0;
  uint32_t mark = 0;
  std::optional<exchange::ItemKey> key;
};

// The records that read, up to the first torn one; `end` is where they end.
std::vector<SideRecord> ReadRecords(std::string_view bytes, size_t& end) {
  std::vector<SideRecord> records;
  records.reserve((bytes.size() - end) / kRecordSize);
  for (; end + kRecordSize <= bytes.size(); end += kRecordSize) {
    const std::string_view record = bytes.substr(end, kRecordSize);
    if (GetU32(record, 28) != Crc(record.substr(0, 28))) break;
    exchange::ItemKey key;
    std::memcpy(key.mailbox.data(), record.data() + 8, key.mailbox.size());
    key.item = GetU32(record, 24);
    records.push_back({GetU32(record, 0), GetU32(record, 4),
                       key == exchange::ItemKey{} ? std::nullopt : std::optional(key)});
  }
  // By id, a later record of an id after an earlier one. Records are
  // appended as items are filed, so they come sorted but after a crash.
  const auto byId = [](const SideRecord& a, const SideRecord& b) { return a.id < b.id; };
  if (!std::is_sorted(records.begin(), records.end(), byId)) {
    std::stable_sort(records.begin(), records.end(), byId);
  }
  return records;
}

// The last record of `id`, or none.
const SideRecord* LastRecordOf(const std::vector<SideRecord>& records, uint32_t id) {
  const auto before = [](uint32_t wanted, const SideRecord& r) { return wanted < r.id; };
  const auto after = std::upper_bound(records.begin(), records.end(), id, before);
  if (after == records.begin() || std::prev(after)->id != id) return nullptr;
  return &*std::prev(after);
}

std::optional<exchange::ItemKey> KeyInStamp(const std::string& path) {
  exchange::ExchangeFile item;
  if (!item.Open(path, true, false)) return std::nullopt;
  const exchange::StampKeys keys = exchange::ReadStampKeys(item);
  item.Close();
  return keys.own;
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

uint32_t MarkOf(const IndexEntry& entry) {
  exchange::Crc32 crc;
  crc.Update(entry.fileName.data(), entry.fileName.size());
  const uint8_t date[4] = {static_cast<uint8_t>(entry.date), static_cast<uint8_t>(entry.date >> 8),
                           static_cast<uint8_t>(entry.date >> 16),
                           static_cast<uint8_t>(entry.date >> 24)};
  crc.Update(date, sizeof date);
  return crc.Value();
}

void ItemKeys::Open(const std::string& directory, const MailboxIndex& index, bool readOnly) {
  Close();
  try {
    Load(directory, index, readOnly);
  } catch (const std::bad_alloc&) {
    // Without memory for them the keys are not known: items are filed by id.
    Close();
  }
}

void ItemKeys::Load(const std::string& directory, const MailboxIndex& index, bool readOnly) {
  const std::string path = directory + kKeysFileName;
  std::string bytes;
  try {
    bytes = ReadWhole(path);
  } catch (const platform::FileError&) {
    bytes.clear();
  }
  const bool headReads = bytes.size() >= kHeadSize && bytes.compare(0, 4, kMagic) == 0 &&
                         GetU32(bytes, 20) == Crc(std::string_view(bytes).substr(0, 20));
  if (headReads) {
    std::memcpy(mailboxKey_.data(), bytes.data() + 4, mailboxKey_.size());
  } else {
    mailboxKey_ = NewMailboxKey();
  }
  size_t end = headReads ? kHeadSize : 0;
  const std::vector<SideRecord> records =
      headReads ? ReadRecords(bytes, end) : std::vector<SideRecord>();
  opened_.reserve(index.Count());
  std::string missing;
  for (uint32_t i = 0; i < index.Count(); ++i) {
    const uint32_t id = index.IdAt(i);
    const IndexEntry& entry = index.EntryAt(i);
    const uint32_t mark = MarkOf(entry);
    const SideRecord* recorded = LastRecordOf(records, id);
    if (recorded != nullptr && recorded->mark == mark) {
      opened_.emplace_back(id, recorded->key);
      continue;
    }
    const std::optional<exchange::ItemKey> key = KeyInStamp(directory + entry.fileName);
    opened_.emplace_back(id, key);
    missing += Record(id, mark, key);
  }
  if (readOnly) return;
  try {
    if (!headReads || (end - kHeadSize) / kRecordSize > 2 * static_cast<size_t>(index.Count()) + 64) {
      WriteAnew(directory, index);
      return;
    }
    file_ = platform::File::Open(path, platform::FileAccess::ReadWrite,
                                 platform::FileShare::Exclusive,
                                 platform::FileDisposition::OpenExisting);
    // A torn record and whatever follows it go.
    file_.SetLength(end);
    file_.Seek(0, platform::SeekOrigin::End);
    Append(missing);
  } catch (const platform::FileError&) {
    file_.Close();
  }
}

void ItemKeys::WriteAnew(const std::string& directory, const MailboxIndex& index) {
  std::string bytes = Head(mailboxKey_);
  for (uint32_t i = 0; i < index.Count(); ++i) {
    const uint32_t id = index.IdAt(i);
    bytes += Record(id, MarkOf(index.EntryAt(i)), KeyOf(id));
  }
  RewriteSideFile(directory + kKeysFileName, bytes, file_);
}

void ItemKeys::Close() {
  file_.Close();
  opened_.clear();
  byId_.clear();
  byKey_.clear();
}

void ItemKeys::BuildLookups() const {
  if (opened_.empty()) return;
  try {
    byId_.reserve(opened_.size());
    byKey_.reserve(opened_.size());
    for (const auto& [id, key] : opened_) Remember(id, key);
  } catch (const std::bad_alloc&) {
    // Without memory for them the keys are not known: items are filed by id.
    byId_.clear();
    byKey_.clear();
  }
  opened_.clear();
  opened_.shrink_to_fit();
}

std::optional<exchange::ItemKey> ItemKeys::KeyOf(uint32_t id) const {
  BuildLookups();
  const auto found = byId_.find(id);
  if (found == byId_.end()) return std::nullopt;
  return found->second;
}

std::optional<uint32_t> ItemKeys::Find(const exchange::ItemKey& key,
                                       const MailboxIndex& index) const {
  BuildLookups();
  const auto found = byKey_.find(key);
  // A removed item's key stays behind; its id is never given out again.
  if (found == byKey_.end() || !index.Find(found->second)) return std::nullopt;
  return found->second;
}

void ItemKeys::Learn(uint32_t id, const IndexEntry& entry,
                     const std::optional<exchange::ItemKey>& key) {
  BuildLookups();
  try {
    Remember(id, key);
  } catch (const std::bad_alloc&) {
    // Its stamp still says it; the next open reads it.
  }
  Append(Record(id, MarkOf(entry), key));
}

void ItemKeys::Remember(uint32_t id, const std::optional<exchange::ItemKey>& key) const {
  const auto before = byId_.find(id);
  if (before != byId_.end()) {
    const auto mapped = byKey_.find(before->second);
    if (mapped != byKey_.end() && mapped->second == id) byKey_.erase(mapped);
    byId_.erase(before);
  }
  if (!key) return;
  byId_[id] = *key;
  byKey_[*key] = id;
}

void ItemKeys::Append(const std::string& records) {
  if (!file_.IsOpen() || records.empty()) return;
  try {
    file_.Write(records.data(), records.size());
  } catch (const platform::FileError&) {
    // The stamps still say it; the next open reads them.
    file_.Close();
  }
}

}  // namespace quorvel
