#include "mailbox/ListedItems.h"

#include "exchange/Archive.h"
#include "exchange/Crc32.h"

namespace quorvel {

namespace {

constexpr uint32_t kMagic = 0x52494451;  // "QDIR"
constexpr size_t kRecordSize = 4 + 4 + 24 + 4 + 4 + 4 + 4;

uint32_t Crc(std::string_view bytes) { return exchange::Crc32::Of(bytes.data(), bytes.size()); }

}  // namespace

void ListedItems::Open(const std::string& directory, bool readOnly,
                       const std::optional<platform::FileStamp>& before) {
  Abandon();
  before_ = before;
  directory_ = directory;
  readOnly_ = readOnly;
  const std::string path = directory + kListedFileName;
  try {
    std::optional<platform::File> file =
        platform::File::TryOpen(path, readOnly ? platform::FileAccess::Read : platform::FileAccess::ReadWrite,
                                platform::FileShare::Exclusive,
                                readOnly ? platform::FileDisposition::OpenExisting
                                         : platform::FileDisposition::OpenAlways);
    if (!file) return;
    std::string bytes(kRecordSize, '\0');
    bytes.resize(file->Read(bytes.data(), bytes.size()));
    if (bytes.size() == kRecordSize) {
      exchange::ArchiveReader record(bytes);
      const uint32_t magic = record.ReadU32();
      const uint32_t closed = record.ReadU32();
      stamp_.length = (record.ReadU32() | uint64_t{record.ReadU32()} << 32);
      stamp_.writeTime = static_cast<int64_t>(record.ReadU32() | uint64_t{record.ReadU32()} << 32);
      stamp_.identity = (record.ReadU32() | uint64_t{record.ReadU32()} << 32);
      indexLength_ = record.ReadU32();
      indexCrc_ = record.ReadU32();
      opens_ = record.ReadU32();
      const uint32_t crc = record.ReadU32();
      trusted_ = magic == kMagic && closed == 1 &&
                 crc == Crc(std::string_view(bytes).substr(0, kRecordSize - 4));
      opens_ = trusted_ ? opens_ + 1 : 0;  // this open counts
    }
    if (readOnly) return;
    file_ = std::move(*file);
    Write(false, 0, 0);
  } catch (const platform::FileError&) {
    file_.Close();
  }
}

bool ListedItems::MustList(std::string_view index) const {
  asked_.emplace(static_cast<uint32_t>(index.size()), Crc(index));
  return !trusted_ || opens_ >= kListEvery || !before_ || !(*before_ == stamp_) ||
         asked_->first != indexLength_ || asked_->second != indexCrc_;
}

void ListedItems::Close(std::optional<std::string_view> index) {
  if (index) asked_.emplace(static_cast<uint32_t>(index->size()), Crc(*index));
  if (file_.IsOpen() && asked_) {
    try {
      if (const std::optional<platform::FileStamp> now = platform::DirectoryStampOf(directory_)) {
        stamp_ = *now;
        Write(true, asked_->first, asked_->second);
      }
    } catch (const platform::FileError&) {
    }
  }
  Abandon();
}

void ListedItems::Abandon() {
  file_.Close();
  trusted_ = false;
  stamp_ = {};
  before_.reset();
  asked_.reset();
  indexLength_ = indexCrc_ = opens_ = 0;
}

void ListedItems::Write(bool closed, uint32_t indexLength, uint32_t indexCrc) {
  exchange::ArchiveWriter record;
  record.WriteU32(kMagic);
  record.WriteU32(closed ? 1 : 0);
  for (const uint64_t value : {stamp_.length, static_cast<uint64_t>(stamp_.writeTime), stamp_.identity}) {
    record.WriteU32(static_cast<uint32_t>(value));
    record.WriteU32(static_cast<uint32_t>(value >> 32));
  }
  record.WriteU32(indexLength);
  record.WriteU32(indexCrc);
  record.WriteU32(opens_);
  record.WriteU32(Crc(record.Bytes()));
  file_.Seek(0, platform::SeekOrigin::Begin);
  file_.Write(record.Bytes().data(), record.Bytes().size());
}

}  // namespace quorvel
