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

// The bytes of an index file that no image seen so far holds at their
// position, as ranges; each image narrows them.
class UnexplainedBytes {
 public:
  explicit UnexplainedBytes(std::string_view index) : index_(index) {
    if (!index.empty()) ranges_.push_back({0, index.size()});
  }
  void ExplainBy(std::string_view image) {
    std::vector<std::pair<size_t, size_t>> left;
    for (const auto& [first, end] : ranges_) {
      size_t at = first;
      while (at < end) {
        const auto explained = [&](size_t i) { return i < image.size() && image[i] == index_[i]; };
        if (explained(at)) {
          ++at;
          continue;
        }
        const size_t start = at;
        while (at < end && !explained(at)) ++at;
        left.push_back({start, at});
      }
    }
    ranges_ = std::move(left);
  }
  bool None() const { return ranges_.empty(); }

 private:
  std::string_view index_;
  std::vector<std::pair<size_t, size_t>> ranges_;
};

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

std::optional<std::string> ImageInSideFile(std::string_view bytes,
                                           std::optional<std::string_view> index) {
  try {
    exchange::ArchiveReader journal(bytes);
    if (journal.ReadU32() != kJournalMagic) return std::nullopt;
    const uint32_t size = journal.ReadU32();
    uint32_t link = journal.ReadU32();
    std::string image(journal.ReadBytes(size));
    if (exchange::Crc32::Of(image.data(), image.size()) != link) return std::nullopt;
    UnexplainedBytes unexplained(index.value_or(std::string_view()));
    unexplained.ExplainBy(image);
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
      unexplained.ExplainBy(image);
    }
    if (index && !unexplained.None()) return std::nullopt;
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
  directory_ = directory;
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
    // Where no journal can be made, nothing can be saved: the mailbox is
    // then read-only.
    if (auto side = platform::File::TryOpen(sidePath_, FileAccess::ReadWrite, FileShare::Exclusive,
                                            FileDisposition::OpenAlways)) {
      side_ = std::move(*side);
    }
  }
  saved_.AssignBytes(ReadIndex());
  sealFound_ = ReadSeal(directory);
  seal_ = sealFound_.value_or(IndexSeal::Of(saved_.Bytes()));
  return opened;
}

void IndexFiles::Close() {
  if (side_.IsOpen()) {
    // The journal goes once the seal vouches for the index; until then it
    // leads the next open to the index's image.
    bool keepJournal = false;
    try {
      if (indexBehind_) {
        WriteOutIndex();
      } else {
        index_.Sync();
      }
      IndexSeal now = IndexSeal::Of(saved_.Bytes());
      if (now.indexLength != seal_.indexLength || now.indexCrc != seal_.indexCrc) {
        now.removedNames = std::move(seal_.removedNames);
        seal_ = std::move(now);
        sealChanged_ = true;
      }
    } catch (const platform::FileError&) {
      keepJournal = true;
    }
    if (!keepJournal && sealChanged_ && !WriteSeal()) keepJournal = true;
    side_.Close();
    if (!keepJournal) platform::RemoveFile(sidePath_);
  }
  index_.Close();
  journal_ = false;
  saved_.AssignBytes(std::string());
  patch_ = ImagePatch();
  indexBehind_ = false;
  sealFound_.reset();
  seal_ = IndexSeal();
  sealChanged_ = false;
}

bool IndexFiles::WriteSeal() {
  sealChanged_ = true;
  if (!side_.IsOpen() || !quorvel::WriteSeal(directory_, seal_)) return false;
  sealChanged_ = false;
  return true;
}

std::optional<std::string> IndexFiles::UnfinishedSave(std::string_view index) {
  if (side_.IsOpen()) return ImageInSideFile(ReadFrom(side_), index);
  const std::optional<std::string> bytes = ReadWholeFile(sidePath_);
  return bytes ? ImageInSideFile(*bytes, index) : std::nullopt;
}

void IndexFiles::DropJournal() {
  if (side_.IsOpen()) side_.SetLength(0);
}

std::string IndexFiles::ReadIndex() { return ReadFrom(index_); }

std::string IndexFiles::SavedImage() {
  std::string bytes = ReadIndex();
  if (!side_.IsOpen()) return bytes;
  std::optional<std::string> image = UnfinishedSave(bytes);
  return image ? std::move(*image) : bytes;
}

void IndexFiles::WriteOut() {
  if (side_.IsOpen() && indexBehind_) WriteOutIndex();
}

void IndexFiles::Save(uint32_t nextId, uint32_t saveTime, const MailboxIndex& index,
                      const IndexEdits& edits) {
  if (!side_.IsOpen()) {
    throw platform::FileError(platform::FileError::Cause::AccessDenied, sidePath_, 0);
  }
  if (!seal_.IsOpen()) {
    // No save changes the index before the seal on disk stops vouching
    // for the bytes of the last close.
    seal_.Open();
    if (!WriteSeal()) {
      throw platform::FileError(platform::FileError::Cause::Generic, directory_ + kSealFileName, 0);
    }
  }
  saved_.Patch(nextId, saveTime, index, edits, patch_);
  const bool journalFull = records_ >= kMostRecords || recordBytes_ > saved_.Size();
  if (journal_ && !journalFull) {
    AppendRecord();
    return;
  }
  // A new base is what the index holds, complete and synced.
  if (indexBehind_) WriteOutIndex();
  StartJournal();
}

void IndexFiles::FinishSave(const std::string& image) {
  saved_.AssignBytes(image);
  indexBehind_ = true;
  WriteOutIndex();
  const std::vector<std::string> names = std::move(seal_.removedNames);
  seal_ = IndexSeal::Of(image);
  seal_.removedNames = names;
  // Until the seal is written the journal leads to this same image.
  if (WriteSeal()) side_.SetLength(0);
}

// The base is the image the index file holds, synced first: what the
// journal is written against.
void IndexFiles::StartJournal() {
  journal_ = false;
  const std::string& base = saved_.Bytes();
  const std::string head = JournalHead(base, link_);
  side_.Seek(0, platform::SeekOrigin::Begin);
  side_.Write(head.data(), head.size());
  side_.Write(base.data(), base.size());
  sideEnd_ = head.size() + base.size();
  side_.SetLength(sideEnd_);
  side_.Sync();
  journal_ = true;
  records_ = 0;
  recordBytes_ = 0;
  AppendRecord();
  // The record that starts a journal does not count towards starting anew.
  records_ = 0;
  recordBytes_ = 0;
}

void IndexFiles::AppendRecord() {
  uint32_t link = link_;
  const std::string entry =
      JournalEntry(EncodeChangeRecord(patch_.splices, patch_.laterSize), link);
  side_.Seek(static_cast<int64_t>(sideEnd_), platform::SeekOrigin::Begin);
  try {
    side_.Write(entry.data(), entry.size());
    side_.Sync();
  } catch (const platform::FileError&) {
    // The record of a save that failed is no part of the journal.
    try {
      side_.SetLength(sideEnd_);
    } catch (const platform::FileError&) {
    }
    throw;
  }
  sideEnd_ += entry.size();
  recordBytes_ += entry.size();
  ++records_;
  link_ = link;
  saved_.Apply(patch_);
  indexBehind_ = true;
}

void IndexFiles::WriteOutIndex() {
  indexBehind_ = true;
  index_.Seek(0, platform::SeekOrigin::Begin);
  const std::string& image = saved_.Bytes();
  index_.Write(image.data(), image.size());
  index_.SetLength(image.size());
  index_.Sync();
  indexBehind_ = false;
}

}  // namespace quorvel
