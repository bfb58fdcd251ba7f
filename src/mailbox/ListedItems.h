// Whether a mailbox directory may hold item files its index does not list,
// so that an open lists the directory only then, not at every open.
//
// The side file "Mailbox.listed" records, when the mailbox closes, the
// directory's stamp (platform::DirectoryStampOf: its write time changes with
// every file made, removed or renamed in it), the index's length and CRC-32
// and how many opens have passed since the last full listing; while the
// mailbox is open it says so instead. An open lists the directory when the
// record does not read, says open (a run that was killed: it may have copied
// an item in before its save), names another directory stamp (someone added
// or removed a file while the mailbox was closed) or another index (one put
// back from elsewhere), and in any case at every kListEvery-th open: that
// last rule bounds how long a file placed while keeping the directory's
// stamp (a file system whose directories keep no write time, or a tool that
// sets the time back) can stay unlisted. The record is written in place, so
// writing it does not change the directory's stamp.
//
// Form (u32 little-endian): the magic "QDIR", the state (1 closed, 0 open),
// the directory's length, write time and identity (u64 each), the index's
// length and CRC-32, the opens since the last listing, and the CRC-32 of the
// bytes before it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/File.h"
#include "platform/FileSystem.h"

namespace quorvel {

inline constexpr const char* kListedFileName = "Mailbox.listed";

class ListedItems {
 public:
  static constexpr uint32_t kListEvery = 32;

  // Reads the record of `directory` and, unless `readOnly`, marks it open.
  // `before` is the directory's stamp taken before the open made anything
  // in it.
  void Open(const std::string& directory, bool readOnly,
            const std::optional<platform::FileStamp>& before);
  // Whether the directory must be listed for an index of these bytes.
  bool MustList(std::string_view index) const;
  // The directory was listed.
  void Listed() { opens_ = 0; }
  // Records the directory as it is now with the index of these bytes (none:
  // the index MustList was last asked about, when it was).
  void Close(std::optional<std::string_view> index);
  // Lets go without recording (the next open lists).
  void Abandon();

 private:
  void Write(bool closed, uint32_t indexLength, uint32_t indexCrc);

  std::string directory_;
  platform::File file_;  // held while the mailbox is open and writable
  bool readOnly_ = true;
  bool trusted_ = false;  // the record read as closed
  platform::FileStamp stamp_;
  std::optional<platform::FileStamp> before_;
  uint32_t indexLength_ = 0;
  uint32_t indexCrc_ = 0;
  // The length and CRC-32 of the index MustList was asked about.
  mutable std::optional<std::pair<uint32_t, uint32_t>> asked_;
  uint32_t opens_ = 0;  // opens since the last listing, this one included
};

}  // namespace quorvel
