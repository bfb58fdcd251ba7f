#include "exchange/ExchangeFile.h"

#include <string>
#include <utility>

#include "exchange/Packing.h"
#include "frame/UniqueNames.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel::exchange {

namespace {

constexpr const char* kWorkingExtension = "qvz";

// Packs into a new file beside the target and puts it in the target's place
// only when it is whole, so that a failure never damages the item.
bool PackBeside(const std::string& source, const std::string& target) {
  std::string directory = platform::DirectoryOf(target);
  if (directory.empty()) directory = std::string(".") + platform::kPathSeparator;
  const std::string packed = UniqueTempName("tmp", directory);
  if (packed.empty()) return false;
  if (PackFile(source, packed, kPackingBuffer) && platform::ReplaceFile(packed, target)) return true;
  platform::RemoveFile(packed);
  return false;
}

}  // namespace

bool ExchangeFile::Open(const std::string& path, bool readOnly, bool create,
                        bool alternativeMagic) {
  if (IsOpen()) Close();
  unpackedTooLong_ = false;
  std::string working;
  // An empty file is a name reserved for a new item (see UniqueTempName).
  const std::optional<uint64_t> length = platform::FileLength(path);
  if (length && !(create && *length == 0)) {
    UnpackExpectation expected = kUnpackedRecordFile;
    expected.most = unpackLimit_;
    UnpackReport report;
    if (readOnly && inMemory_) {
      std::string unpacked;
      if (UnpackIntoMemory(path, unpacked, &report, &expected)) {
        packed_ = true;
        packedPath_ = path;
        if (RecordFile::OpenInMemory(std::move(unpacked), alternativeMagic)) return true;
        packedPath_.clear();
        return false;
      }
      working = path;  // not packed: opened in place, below
    } else {
      working = UniqueTempName(kWorkingExtension);
      if (working.empty()) return false;
      if (!UnpackFile(path, working, kPackingBuffer, &report, &expected)) {
        platform::RemoveFile(working);  // a stream that broke off midway leaves a part
        working = path;
      }
    }
    if (working != path) {
      packed_ = true;
      packedPath_ = path;
    } else {
      // A packed file refused for its length is not opened in place either.
      unpackedTooLong_ = report.beyondLimit;
      if (unpackedTooLong_) return false;
      packed_ = false;
      packedPath_.clear();
    }
  } else {
    if (!create) return false;
    if (!length && !platform::File::TryOpen(path, platform::FileAccess::Write, platform::FileShare::Exclusive,
                                 platform::FileDisposition::CreateNew)) {
      return false;
    }
    packed_ = true;
    packedPath_ = path;
    working = UniqueTempName(kWorkingExtension);
    if (working.empty()) {
      platform::RemoveFile(path);
      return false;
    }
  }
  if (RecordFile::Open(working, readOnly, create, alternativeMagic)) return true;
  if (packed_) platform::RemoveFile(working);
  return false;
}

bool ExchangeFile::Close() {
  if (!IsOpen()) return false;
  const Mode mode = GetMode();
  const bool closed = CloseRecord();
  if (!closed) {
    // The copy's directory and header are not written: nothing in it can be
    // packed, and the file on disk stays as it was.
    DiscardWorkingCopy();
    return false;
  }
  // A file read in memory has no working copy (and no working path).
  if (packed_ && !WorkingPath().empty()) {
    if (mode == kWritable && !PackBeside(WorkingPath(), packedPath_)) return false;
    platform::RemoveFile(WorkingPath());
  }
  packed_ = true;
  packedPath_.clear();
  return true;
}

void ExchangeFile::Abandon() {
  if (!IsOpen()) return;
  CloseRecord();
  DiscardWorkingCopy();
}

void ExchangeFile::DiscardWorkingCopy() {
  if (packed_ && !WorkingPath().empty()) platform::RemoveFile(WorkingPath());
  packed_ = true;
  packedPath_.clear();
}

bool FinishAndPack(ExchangeFile& file, const ItemFinisher& finish) {
  if (finish && !finish(file)) {
    file.Abandon();
    return false;
  }
  return file.Close();
}

std::string ExchangeFile::GetPath() const { return packed_ ? packedPath_ : WorkingPath(); }

}  // namespace quorvel::exchange
