// The directory is read through one buffer, so that opening a file costs a
// read or two however many entries it has.
#include "exchange/RecordDirectory.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "frame/LogEvents.h"

namespace quorvel::exchange {

namespace {

constexpr size_t kReadChunk = 64 * 1024;

class DirectoryReader {
 public:
  DirectoryReader(RecordSource& file, uint64_t offset, uint64_t end)
      : file_(file), position_(offset), end_(end) {}

  uint64_t position() const { return position_; }
  uint64_t remaining() const { return end_ - position_; }

  // The next `size` bytes, or null at the end of the file or on a file error
  // (logged with `site`).
  const uint8_t* Take(size_t size, uint32_t site) {
    if (size > remaining()) return nullptr;
    if (size > buffered_.size() - used_) {
      buffered_.erase(buffered_.begin(), buffered_.begin() + static_cast<ptrdiff_t>(used_));
      used_ = 0;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(std::max(size, kReadChunk),
                                                                 remaining() - buffered_.size()));
      const size_t had = buffered_.size();
      buffered_.resize(had + want);
      try {
        buffered_.resize(had + file_.Read(buffered_.data() + had, want));
      } catch (const platform::FileError& error) {
        LogException(site, error);
        buffered_.resize(had);
        return nullptr;
      }
      if (size > buffered_.size()) return nullptr;
    }
    const uint8_t* bytes = buffered_.data() + used_;
    used_ += size;
    position_ += size;
    return bytes;
  }

 private:
  RecordSource& file_;
  uint64_t position_;
  uint64_t end_;
  std::vector<uint8_t> buffered_;
  size_t used_ = 0;
};

bool Fail(RecordDamage* damage, uint64_t offset, std::string what) {
  if (damage != nullptr) *damage = RecordDamage{offset, std::move(what)};
  return false;
}

}  // namespace

bool ReadDirectory(RecordSource& file, uint32_t offset, BlockList& blocks, RecordDamage* damage) {
  uint64_t length = 0;
  try {
    length = file.Length();
    file.SeekTo(offset);
  } catch (const platform::FileError& error) {
    LogException(kSiteDirectorySeek, error);
    return Fail(damage, offset, "the directory cannot be reached");
  }
  if (offset < kHeaderSize || offset > length) {
    return Fail(damage, offset, "the directory offset lies outside the value area");
  }
  DirectoryReader reader(file, offset, length);
  const uint8_t* head = reader.Take(2, kSiteBlockCountRead);
  if (head == nullptr) return Fail(damage, reader.position(), "the block count is cut off");
  const uint16_t blockCount = LoadU16(head);
  if (blockCount == 0) return Fail(damage, offset, "the directory holds no block");
  if (uint64_t{blockCount} * 2 > reader.remaining()) {
    return Fail(damage, offset, "the block count (" + std::to_string(blockCount) +
                                    ") runs past the end of the file");
  }
  for (uint32_t block = 0; block < blockCount; ++block) {
    const uint64_t at = reader.position();
    const uint8_t* count = reader.Take(2, kSiteEntryCountRead);
    if (count == nullptr) {
      return Fail(damage, at, "the entry count of block " + std::to_string(block) + " is cut off");
    }
    const uint16_t entryCount = LoadU16(count);
    if (uint64_t{entryCount} * sizeof(TagEntry) > reader.remaining()) {
      return Fail(damage, at, "the entries of block " + std::to_string(block) + " (" +
                                  std::to_string(entryCount) + ") run past the end of the file");
    }
    auto entries = std::make_unique<TagEntryArray>();
    entries->SetSize(entryCount);
    for (TagEntry& entry : *entries) {
      const uint8_t* bytes = reader.Take(sizeof(TagEntry), kSiteEntryRead);
      if (bytes == nullptr) return Fail(damage, reader.position(), "an entry is cut off");
      entry = TagEntry{LoadU16(bytes), LoadU16(bytes + 2), LoadU32(bytes + 4)};
    }
    blocks.Adopt(std::move(entries));
  }
  return true;
}

std::string EncodeDirectory(const BlockList& blocks) {
  // The counts are u16 on disk: more would wrap and lose the values.
  if (blocks.IsEmpty() || blocks.Size() > kMostEntries) return std::string();
  std::string bytes;
  uint8_t field[8];
  StoreU16(field, static_cast<uint16_t>(blocks.Size()));
  bytes.append(reinterpret_cast<const char*>(field), 2);
  for (uint32_t i = 0; i < blocks.Size(); ++i) {
    const TagEntryArray& entries = blocks[i];
    if (entries.IsEmpty() || entries.Size() > kMostEntries) return std::string();
    StoreU16(field, static_cast<uint16_t>(entries.Size()));
    bytes.append(reinterpret_cast<const char*>(field), 2);
    for (const TagEntry& entry : entries) {
      StoreU16(field, entry.tag);
      StoreU16(field + 2, entry.type);
      StoreU32(field + 4, entry.value);
      bytes.append(reinterpret_cast<const char*>(field), 8);
    }
  }
  return bytes;
}

}  // namespace quorvel::exchange
