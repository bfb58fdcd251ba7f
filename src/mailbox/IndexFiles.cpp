#include "mailbox/IndexFiles.h"

#include "exchange/Archive.h"
#include "exchange/Crc32.h"
#include "frame/WholeFile.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

constexpr size_t kTrailerSize = 8;

std::string ReadFrom(platform::File& file) {
  file.Seek(0, platform::SeekOrigin::Begin);
  std::string bytes(static_cast<size_t>(file.Length()), '\0');
  bytes.resize(file.Read(bytes.data(), bytes.size()));
  return bytes;
}

void ReplaceContent(platform::File& file, const std::string& bytes) {
  file.Seek(0, platform::SeekOrigin::Begin);
  file.Write(bytes.data(), bytes.size());
  file.SetLength(bytes.size());
  file.Sync();
}

}  // namespace

std::string SideFileBytes(const std::string& image) {
  exchange::ArchiveWriter trailer;
  trailer.WriteU32(exchange::Crc32::Of(image.data(), image.size()));
  trailer.WriteU32(static_cast<uint32_t>(image.size()));
  return image + trailer.Bytes();
}

std::optional<std::string> ImageInSideFile(std::string_view bytes) {
  if (bytes.size() < kTrailerSize) return std::nullopt;
  const std::string_view image = bytes.substr(0, bytes.size() - kTrailerSize);
  exchange::ArchiveReader trailer(bytes.substr(image.size()));
  const uint32_t crc = trailer.ReadU32();
  if (trailer.ReadU32() != image.size() || crc != exchange::Crc32::Of(image.data(), image.size())) {
    return std::nullopt;
  }
  return std::string(image);
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
  index_.Close();
  side_.Close();
  indexIncomplete_ = false;
}

std::optional<std::string> IndexFiles::UnfinishedSave() {
  if (side_.IsOpen()) return ImageInSideFile(ReadFrom(side_));
  const std::optional<std::string> bytes = ReadWholeFile(sidePath_);
  return bytes ? ImageInSideFile(*bytes) : std::nullopt;
}

std::string IndexFiles::ReadIndex() { return ReadFrom(index_); }

void IndexFiles::Save(const std::string& image) {
  if (!side_.IsOpen()) {
    throw platform::FileError(platform::FileError::Cause::AccessDenied, sidePath_, 0);
  }
  if (!indexIncomplete_) ReplaceContent(side_, SideFileBytes(image));
  RewriteIndex(image);
}

void IndexFiles::FinishSave(const std::string& image) {
  indexIncomplete_ = true;  // the side file holds `image` already
  Save(image);
}

void IndexFiles::RewriteIndex(const std::string& image) {
  indexIncomplete_ = true;
  ReplaceContent(index_, image);
  indexIncomplete_ = false;
  // Not synced: should this be lost, the side file still holds the image
  // the index now holds.
  side_.SetLength(0);
}

}  // namespace quorvel
