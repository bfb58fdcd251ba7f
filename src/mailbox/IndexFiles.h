// The files behind an open index: "Mailbox.inv" itself, the side file
// "Mailbox.inv.new", a journal through which every save passes, and the seal
// "Mailbox.inv.sum" (IndexSeal.h). The index and the journal are held
// exclusively while the mailbox is open; the journal is made at the open
// (a directory where it cannot be made opens read-only) and deleted when
// the mailbox closes and the seal vouches for the index.
//
// The journal starts with the image the index file holds (its base, what it
// was written against) and then holds one change record per save
// (IndexChanges.h): what turns the image before the save into the image
// after it. A save appends its record and syncs it, and leaves the index
// file as it is: the journal is the saved index until the index is written
// out, which happens when the journal starts anew (its records have grown as
// large as the base, or numerous: the index is written whole and synced,
// then becomes the new base) and when the mailbox closes (the index written
// whole, synced and sealed, the journal deleted). So a save writes and syncs
// little beyond what changed, however large the index.
//
// A journal applies only to the index it was written against: one that the
// base and the images of its whole records make up byte by byte (a write-out
// cut short mixes the images before and after it). An index written since by
// anyone else is not made of them, and wins over the journal; so does the
// index when the journal is damaged (its checksums fail). A torn last record
// is a save that did not happen. The index file's bytes are exactly the
// index image once the mailbox closes.
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
#include "mailbox/IndexPieces.h"
#include "mailbox/IndexSeal.h"
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
// The newest complete image that side file bytes hold, or nothing; with
// `index`, nothing also when the journal's images do not make up `index`.
std::optional<std::string> ImageInSideFile(std::string_view bytes,
                                           std::optional<std::string_view> index = std::nullopt);

class IndexFiles {
 public:
  enum class Opened { Existing, Created, Busy, Failed };

  // Opens the index in `directory` exclusively (read-only or read-write),
  // creating it when missing; a busy index is tried `attempts` times. Reads
  // the seal.
  Opened Open(const std::string& directory, bool readOnly, uint16_t attempts,
              uint16_t pauseMilliseconds);
  bool IsOpen() const { return index_.IsOpen(); }
  // Whether saves can be made: false when opened read-only or when no
  // journal could be made beside the index.
  bool CanSave() const { return side_.IsOpen(); }
  // Seals the index when it changed, and deletes the journal once the seal
  // vouches for the index.
  void Close();

  // The image the journal of a save that did not finish leads to, when it
  // applies to `index`, the index file's bytes.
  std::optional<std::string> UnfinishedSave(std::string_view index);
  // Empties a journal that does not apply.
  void DropJournal();
  // The seal found at the open, if one read.
  const std::optional<IndexSeal>& SealFound() const { return sealFound_; }
  // Names of removed items whose files stay; WriteSeal makes a change to
  // them durable.
  std::vector<std::string>& RemovedNames() { return seal_.removedNames; }
  bool WriteSeal();
  // The bytes of the index file. Throws platform::FileError.
  std::string ReadIndex();
  // The image last saved, as the files hold it: the index file with the
  // journal's records applied. Throws platform::FileError.
  std::string SavedImage();
  // Brings the index file up to the last save (written whole and synced)
  // when it lags behind the journal. Throws platform::FileError.
  void WriteOut();
  // Saves the image of `index` with `nextId` and `saveTime` as described
  // above, patching the image of the last save where `edits` says the
  // entries changed since. Throws platform::FileError; the last complete
  // image stays recoverable whatever step fails.
  void Save(uint32_t nextId, uint32_t saveTime, const MailboxIndex& index,
            const IndexEdits& edits);
  // Writes the image UnfinishedSave found into the index, seals it and
  // empties the journal.
  void FinishSave(const std::string& image);

  // A journal holds at most this many records before it starts anew.
  static constexpr uint32_t kMostRecords = 256;

 private:
  void StartJournal();
  void AppendRecord();
  // Writes saved_ whole into the index, cuts it to length and syncs it.
  void WriteOutIndex();

  platform::File index_;
  platform::File side_;  // not held when read-only
  std::string directory_;
  std::string sidePath_;
  // The image the index file holds (once a save returns); its parts are
  // known when a save encoded it, not when it was read at the open.
  IndexPieces saved_;
  // The change the save under way makes to saved_.
  ImagePatch patch_;
  // While `journal_` is set, the side file holds a journal that leads to
  // `saved_`; the next record goes at `sideEnd_`.
  bool journal_ = false;
  std::optional<IndexSeal> sealFound_;
  // What the next seal holds: the index it vouches for (the one found at the
  // open until the index is sealed anew) and the removed names.
  IndexSeal seal_;
  bool sealChanged_ = false;
  uint64_t sideEnd_ = 0;
  uint64_t recordBytes_ = 0;
  uint32_t records_ = 0;
  uint32_t link_ = 0;
  // The index file does not hold saved_: it holds an image the journal
  // passes through (or a mix of them, a write-out cut short), so the
  // journal must stay until the index is written out.
  bool indexBehind_ = false;
};

}  // namespace quorvel
