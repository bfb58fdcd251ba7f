// ExchangeFile: a record file as it lies on disk, packed with bzip2. Open
// unpacks it into a private temporary working copy ("~AT" n ".qvz") on which
// the record file works; Close packs a writable copy back and deletes it. A
// file that is not packed is opened in place and stays unpacked. Read in
// memory (ReadInMemory), a packed file opened read-only is unpacked into
// memory instead, and nothing is written to disk.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "exchange/RecordFile.h"

namespace quorvel::exchange {

class ExchangeFile : public RecordFile {
 public:
  ExchangeFile() = default;
  // Closes the record file part only: owners call Close to pack and clean up.
  ~ExchangeFile() override = default;

  // A missing file is created (with `create`) as an empty placeholder that
  // reserves its name until Close packs the new record file into it; an
  // existing empty file is taken as such a placeholder.
  bool Open(const std::string& path, bool readOnly, bool create,
            bool alternativeMagic = false) override;
  // Fails when the record file part fails to close or packing fails (the
  // working copy is then left).
  bool Close() override;
  // Closes without packing: a packed file on disk stays as it was (a file
  // opened in place keeps what was written to it).
  void Abandon();
  // The path callers know: the packed file, or the file opened in place.
  virtual std::string GetPath() const;

  bool IsPacked() const { return packed_; }

  // The next Open unpacks at most `bytes` (a file from outside may claim any
  // length up to 4 GiB in its head); a longer one is not opened.
  void LimitUnpackedLength(uint64_t bytes) { unpackLimit_ = bytes; }
  // Whether the last Open refused a file for unpacking past that limit.
  bool UnpackedTooLong() const { return unpackedTooLong_; }
  // The next read-only Opens of a packed file unpack it into memory (within
  // the unpack limit) rather than into a working copy on disk.
  void ReadInMemory() { inMemory_ = true; }

 private:
  void DiscardWorkingCopy();

  bool packed_ = true;
  std::string packedPath_;
  uint64_t unpackLimit_ = UINT64_MAX;
  bool unpackedTooLong_ = false;
  bool inMemory_ = false;
};

// Called by an item's writer on the finished item before it is packed (the
// mailbox stamps it there); false abandons the item.
using ItemFinisher = std::function<bool(ExchangeFile&)>;

// Hands a newly written item to `finish` (when given), then closes and packs
// it; a finisher that fails abandons it unpacked.
bool FinishAndPack(ExchangeFile& file, const ItemFinisher& finish);

}  // namespace quorvel::exchange
