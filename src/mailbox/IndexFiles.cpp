#include "mailbox/IndexFiles.h"

#include <utility>

#include "exchange/Archive.h"
#include "exchange/Crc32.h"
#include "frame/WholeFile.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

constexpr size_t kEntryHeadSize = 8;

std::string ReadFrom(platform::File& file) {
  file.Seek(0, platform::SeekOrigin::Begin);
  std::string bytes(static_cast<size_t>(file.Length()), '\0');
  bytes.resize(file.Read(bytes.data(), bytes.size()));
  return bytes;
}

uint32_t LinkOf(uint32_t previous, std::string_view record) {
  exchange::ArchiveWriter bytes;
  bytes.WriteU32(previous);
  exchange::Crc32 crc;
  crc.Update(bytes.Bytes().data(), bytes.Bytes().size());
  crc.Update(record.data(), record.size());
  return crc.Value();
}

}  // namespace

std::string JournalHead(std::string_view base, uint32_t& link) {
  link = exchange::Crc32::Of(base.data(), base.size());
  exchange::ArchiveWriter head;
  head.WriteU32(kJournalMagic);
  head.WriteU32(static_cast<uint32_t>(base.size()));
  head.WriteU32(link);
  return head.TakeBytes();
}

std::string JournalEntry(std::string_view record, uint32_t& link) {
  link = LinkOf(link, record);
  exchange::ArchiveWriter entry;
  entry.WriteU32(static_cast<uint32_t>(record.size()));
  entry.WriteU32(link);
  entry.WriteBytes(record.data(), record.size());
  return entry.TakeBytes();
}

std::optional<std::string> ImageInSideFile(std::string_view bytes) {
  try {
    exchange::ArchiveReader journal(bytes);
    if (journal.ReadU32() != kJournalMagic) return std::nullopt;
    const uint32_t size = journal.ReadU32();
    uint32_t link = journal.ReadU32();
    std::string image(journal.ReadBytes(size));
    if (exchange::Crc32::Of(image.data(), image.size()) != link) return std::nullopt;
    // Records follow until one is torn, left over or does not apply.
    while (journal.Remaining() >= kEntryHeadSize) {
      const uint32_t length = journal.ReadU32();
      const uint32_t entryLink = journal.ReadU32();
      if (length > journal.Remaining()) break;
      const std::string_view record = journal.ReadBytes(length);
      if (LinkOf(link, record) != entryLink) break;
      std::optional<std::string> next = ApplyChangeRecord(image, record);
      if (!next) break;
      image = std::move(*next);
      link = entryLink;
    }
    return image;
  } catch (const exchange::ArchiveError&) {
    return std::nullopt;
  }
}

IndexFiles::Opened IndexFiles::Open(const std::string& directory, bool readOnly, uint16_t attempts,
                                    uint16_t pauseMilliseconds) {
  using platform::FileAccess;
  using platform::FileDisposition;
  using platform::FileShare;
  Close();
  const std::string path = directory + kIndexFileName;
  sidePath_ = directory + kSideFileName;
  Opened opened = Opened::Existing;
  if (!platform::IsExistingFile(path)) {
    auto created = platform::File::TryOpen(path, FileAccess::ReadWrite, FileShare::Exclusive,
                                           FileDisposition::CreateAlways);
    if (!created) return Opened::Failed;
    index_ = std::move(*created);
    opened = Opened::Created;
    readOnly = false;
  } else {
    if (attempts == 0) return Opened::Busy;
    for (uint16_t attempt = 0; attempt < attempts && !index_.IsOpen(); ++attempt) {
      if (auto held = platform::File::TryOpen(path, readOnly ? FileAccess::Read : FileAccess::ReadWrite,
                                              FileShare::Exclusive, FileDisposition::OpenExisting)) {
        index_ = std::move(*held);
      } else {
        platform::SleepMilliseconds(pauseMilliseconds);
      }
    }
    if (!index_.IsOpen()) return Opened::Busy;
  }
  if (!readOnly) {
    auto side = platform::File::TryOpen(sidePath_, FileAccess::ReadWrite, FileShare::Exclusive,
                                        FileDisposition::OpenAlways);
    if (!side) {
      index_.Close();
      return Opened::Failed;
    }
    side_ = std::move(*side);
  }
  return opened;
}

void IndexFiles::Close() {
  if (journal_ && !indexIncomplete_) {
    try {
      index_.Sync();
      side_.SetLength(0);
    } catch (const platform::FileError&) {
      // The journal stays and leads the next open to the index's image.
    }
  }
  index_.Close();
  side_.Close();
  journal_ = false;
  saved_ = IndexImage();
  indexIncomplete_ = false;
}

std::optional<std::string> IndexFiles::UnfinishedSave() {
  if (side_.IsOpen()) return ImageInSideFile(ReadFrom(side_));
  const std::optional<std::string> bytes = ReadWholeFile(sidePath_);
  return bytes ? ImageInSideFile(*bytes) : std::nullopt;
}

std::string IndexFiles::ReadIndex() { return ReadFrom(index_); }

void IndexFiles::Save(IndexImage& image) {
  if (!side_.IsOpen()) {
    throw platform::FileError(platform::FileError::Cause::AccessDenied, sidePath_, 0);
  }
  const bool journalFull = records_ >= kMostRecords || recordBytes_ > saved_.bytes.size();
  if (!journal_ || (journalFull && !indexIncomplete_)) {
    StartJournal(image);
  } else {
    AppendRecord(image);
  }
}

void IndexFiles::FinishSave(const std::string& image) {
  indexIncomplete_ = true;
  index_.Seek(0, platform::SeekOrigin::Begin);
  index_.Write(image.data(), image.size());
  index_.SetLength(image.size());
  index_.Sync();
  indexIncomplete_ = false;
  // Not synced: should this be lost, the journal leads to this same image.
  side_.SetLength(0);
}

void IndexFiles::StartJournal(IndexImage& image) {
  if (journal_) index_.Sync();  // the complete image while the base is rewritten
  journal_ = false;
  const std::string head = JournalHead(image.bytes, link_);
  side_.Seek(0, platform::SeekOrigin::Begin);
  side_.Write(head.data(), head.size());
  side_.Write(image.bytes.data(), image.bytes.size());
  sideEnd_ = head.size() + image.bytes.size();
  side_.SetLength(sideEnd_);
  side_.Sync();
  journal_ = true;
  records_ = 0;
  recordBytes_ = 0;
  std::swap(saved_, image);
  RewriteIndex({{0, saved_.bytes.size()}});
}

void IndexFiles::AppendRecord(IndexImage& image) {
  const std::vector<Splice> splices = SplicesBetween(saved_, image);
  uint32_t link = link_;
  const std::string entry = JournalEntry(EncodeChangeRecord(splices, image.bytes.size()), link);
  side_.Seek(static_cast<int64_t>(sideEnd_), platform::SeekOrigin::Begin);
  side_.Write(entry.data(), entry.size());
  side_.Sync();
  sideEnd_ += entry.size();
  recordBytes_ += entry.size();
  ++records_;
  link_ = link;
  const std::vector<std::pair<size_t, size_t>> ranges =
      indexIncomplete_ ? std::vector<std::pair<size_t, size_t>>{{0, image.bytes.size()}}
                       : RangesToRewrite(splices, image.bytes.size());
  std::swap(saved_, image);
  RewriteIndex(ranges);
}

void IndexFiles::RewriteIndex(const std::vector<std::pair<size_t, size_t>>& ranges) {
  indexIncomplete_ = true;
  for (const auto& [first, end] : ranges) {
    index_.Seek(static_cast<int64_t>(first), platform::SeekOrigin::Begin);
    index_.Write(saved_.bytes.data() + first, end - first);
  }
  index_.SetLength(saved_.bytes.size());
  indexIncomplete_ = false;
}

}  // namespace quorvel
