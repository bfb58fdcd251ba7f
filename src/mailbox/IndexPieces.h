// The image of an index's last save, kept in pieces so that the next save
// patches it where entries changed (IndexEdits.h) instead of encoding and
// copying it whole: the head, the id array's head, the ids and entries in
// chunks of a few hundred, and the outbox queue. A save costs what changed,
// not what the index holds; the whole image is put together only when it is
// written out (a journal starts anew, the mailbox closes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mailbox/IndexChanges.h"
#include "mailbox/IndexEdits.h"
#include "mailbox/IndexFormat.h"

namespace quorvel {

// A save's change of the image: the splices of its record (views into the
// patch itself, which therefore stays where it was filled) and what the
// image holds after it.
struct ImagePatch {
  std::vector<Splice> splices;
  size_t laterSize = 0;
  // Encoded whole: the later image itself.
  bool whole = false;
  IndexImage image;
  // Else the pieces that change.
  struct Run {
    uint32_t oldFirst = 0;
    uint32_t oldEnd = 0;
    std::vector<uint32_t> ids;
    std::string idBytes;
    std::string bytes;
    std::vector<uint32_t> sizes;
  };
  std::vector<Run> runs;
  std::string head;
  std::string idHead;
  std::string outboxCount;
  uint32_t outboxFirst = 0;    // the queued ids that changed: from here
  uint32_t outboxRemoved = 0;  // this many went,
  std::vector<uint32_t> outboxIds;  // these came
  std::string outboxBytes;
  uint32_t count = 0;
};

class IndexPieces {
 public:
  // Entries per chunk; a chunk that grows beyond twice as many is split.
  static constexpr uint32_t kChunkEntries = 256;

  // An image read from a file: its parts are not known, and the next save
  // replaces it whole.
  void AssignBytes(std::string bytes);
  size_t Size() const { return size_; }
  // The whole image, put together once after each change.
  const std::string& Bytes() const;

  // Fills `patch` with the change from this image to the one of `index`
  // with `nextId` and `saveTime`, given the entries changed since this image
  // was saved. This image stays as it is.
  void Patch(uint32_t nextId, uint32_t saveTime, const MailboxIndex& index,
             const IndexEdits& edits, ImagePatch& patch) const;
  // This image becomes the patch's later one.
  void Apply(ImagePatch& patch);

 private:
  struct Chunk {
    std::vector<uint32_t> ids;
    std::vector<uint32_t> ends;  // of each entry's bytes within `bytes`
    std::string bytes;
    uint32_t Start(uint32_t i) const { return i == 0 ? 0 : ends[i - 1]; }
  };
  struct Place {
    size_t chunk;
    uint32_t entry;
    size_t before;  // entry bytes in the chunks before
  };

  void AssignParts(const IndexImage& image);
  IndexImage Whole() const;
  // The chunk and place of entry `position`; the end of the last chunk for
  // the position after the last entry.
  Place Locate(uint32_t position) const;
  size_t IdsStart() const { return head_.size() + idHead_.size(); }
  size_t EntryOffset(uint32_t position) const;
  std::string_view EntryBytes(uint32_t position) const;
  uint32_t IdAt(uint32_t position) const;
  void RemoveEntries(uint32_t first, uint32_t end);
  void InsertEntries(uint32_t position, const ImagePatch::Run& run);
  void Split(size_t chunk);

  bool parts_ = false;
  std::string head_;
  std::string idHead_;  // empty when there are no entries
  std::vector<Chunk> chunks_;
  uint32_t count_ = 0;
  size_t entryBytes_ = 0;
  std::string outboxCount_;
  std::vector<uint32_t> outbox_;
  size_t size_ = 0;
  mutable std::string bytes_;
  mutable bool bytesKnown_ = true;
};

}  // namespace quorvel
