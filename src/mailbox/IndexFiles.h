// The two files behind an open index: "Mailbox.inv" itself and the side file
// "Mailbox.inv.new", a journal through which every save passes. Both are held
// exclusively while the mailbox is open.
//
// The journal starts with a complete image (its base) and then holds one
// change record per save (IndexChanges.h): what turns the image before the
// save into the image after it. A save appends its record and syncs it, then
// patches the index in place over the bytes that changed; so a save writes
// little beyond what changed, and syncs only its record. When the records
// have grown as large as the base, or numerous, the next save starts the
// journal anew with its own image as the base, after syncing the index (the
// complete image while the base is rewritten). Closing syncs the index and
// empties the journal.
//
// A journal whose base is complete therefore holds the newest complete index
// (base and every whole record after it); a torn last record is a save that
// did not happen. Otherwise the index file is complete. The index file's bytes
// are always exactly the index image once a save returns.
//
// Side file form (u32 little-endian): the magic "INVJ", the base's length and
// CRC-32 (Crc32.h), the base; then each record as its length, its link and
// its bytes. A record's link is the CRC-32 of the previous link (the base's
// CRC for the first record) as four bytes followed by the record, so that a
// record left over from an earlier journal never continues this one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mailbox/IndexChanges.h"
#include "mailbox/IndexFormat.h"
#include "platform/File.h"

namespace quorvel {

inline constexpr const char* kIndexFileName = "Mailbox.inv";
inline constexpr const char* kSideFileName = "Mailbox.inv.new";

inline constexpr uint32_t kJournalMagic = 0x4A564E49;  // "INVJ"

// The side file's head for `base`; `link` receives the first link.
std::string JournalHead(std::string_view base, uint32_t& link);
// A record as the side file holds it after the one whose link is `link`,
// which then becomes the record's own.
std::string JournalEntry(std::string_view record, uint32_t& link);
// The newest complete image that side file bytes hold, or nothing.
std::optional<std::string> ImageInSideFile(std::string_view bytes);

class IndexFiles {
 public:
  enum class Opened { Existing, Created, Busy, Failed };

  // Opens the index in `directory` exclusively (read-only or read-write),
  // creating it when missing; a busy index is tried `attempts` times.
  Opened Open(const std::string& directory, bool readOnly, uint16_t attempts,
              uint16_t pauseMilliseconds);
  bool IsOpen() const { return index_.IsOpen(); }
  void Close();

  // The image the journal of a save that did not finish leads to, if any.
  std::optional<std::string> UnfinishedSave();
  // The bytes of the index file. Throws platform::FileError.
  std::string ReadIndex();
  // Saves `image` as described above; `image` is then left with memory to
  // encode the next one in. Throws platform::FileError; the last complete
  // image stays recoverable whatever step fails.
  void Save(IndexImage& image);
  // The image of the last save that returned, while the journal leads to it
  // (empty otherwise).
  const IndexImage& LastSaved() const { return saved_; }
  // Writes the image UnfinishedSave found into the index and empties the
  // journal.
  void FinishSave(const std::string& image);

  // A journal holds at most this many records before it starts anew.
  static constexpr uint32_t kMostRecords = 256;

 private:
  void StartJournal(IndexImage& image);
  void AppendRecord(IndexImage& image);
  // Writes the given ranges of saved_ into the index and cuts it to length.
  void RewriteIndex(const std::vector<std::pair<size_t, size_t>>& ranges);

  platform::File index_;
  platform::File side_;  // not held when read-only
  std::string sidePath_;
  // While `journal_` is set, the side file holds a journal that leads to
  // `saved_`; the next record goes at `sideEnd_`.
  bool journal_ = false;
  IndexImage saved_;
  uint64_t sideEnd_ = 0;
  uint64_t recordBytes_ = 0;
  uint32_t records_ = 0;
  uint32_t link_ = 0;
  // A rewrite of the index failed midway: the journal must not start anew
  // (that needs a complete index) until a rewrite succeeds.
  bool indexIncomplete_ = false;
};

}  // namespace quorvel
