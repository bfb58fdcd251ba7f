#include "mailbox/ItemRemoval.h"

#include <algorithm>
#include <unordered_set>

#include "mailbox/IndexFormat.h"
#include "mailbox/Mailbox.h"
#include "mailbox/OutboundSending.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

bool ReadPiece(std::string_view piece, int64_t& number) {
  size_t at = 0;
  const bool negative = !piece.empty() && piece[0] == '-';
  if (!piece.empty() && (piece[0] == '-' || piece[0] == '+')) at = 1;
  if (at == piece.size()) return false;
  int64_t value = 0;
  for (; at < piece.size(); ++at) {
    if (piece[at] < '0' || piece[at] > '9') return false;
    // Anything beyond the 32-bit range names no item; keep it there.
    value = std::min<int64_t>(value * 10 + (piece[at] - '0'), int64_t{1} << 33);
  }
  number = negative ? -value : value;
  return true;
}

// Records the removed items' files, saves the index that no longer lists
// them, then deletes the files. When the save fails the files stay (the index
// on disk still lists them) and the answer is false. A file that cannot be
// deleted (read-only, or in use) stays recorded, so that no open files it
// again; the answer is false only when it could not be recorded either.
bool SaveThenDelete(Mailbox& mailbox, const std::vector<std::string>& filesToDelete) {
  const bool recorded = filesToDelete.empty() || mailbox.RecordRemovedFiles(filesToDelete);
  if (!mailbox.SaveIndex()) return false;
  bool permanent = true;
  for (const std::string& path : filesToDelete) {
    if (platform::RemoveFile(path) || !platform::IsExistingFile(path)) {
      mailbox.RemovedFileDeleted(path);
    } else {
      permanent = permanent && recorded;
    }
  }
  return permanent;
}

}  // namespace

bool RemoveItem(Mailbox& mailbox, uint32_t id, std::vector<std::string>& filesToDelete) {
  if (!mailbox.IsOpen() || mailbox.IsReadOnly()) return false;
  const std::optional<uint32_t> found = mailbox.FindItem(id);
  if (!found) return false;
  MailboxIndex& index = mailbox.Index();
  const uint32_t position = *found;
  const uint32_t end = index.SubtreeEnd(position);
  std::unordered_set<uint32_t> removed;
  for (uint32_t i = position; i < end; ++i) {
    const uint32_t removedId = index.IdAt(position);
    removed.insert(removedId);
    if (removedId == mailbox.WorkingItemId()) mailbox.ReleaseItem();
    // A name the host changed to leave the directory deletes nothing.
    const std::string& fileName = index.EntryAt(position).fileName;
    if (!fileName.empty() && IsPlainFileName(fileName)) filesToDelete.push_back(mailbox.PathOf(index.EntryAt(position)));
    index.RemoveAt(position);
  }
  std::erase_if(index.outboxQueue, [&](uint32_t queued) {
    return removed.count(queued) != 0 || !index.Find(queued);
  });
  mailbox.SetDirty(true);
  return true;
}

std::vector<int64_t> IndexesOfList(std::string_view list, bool& allRead) {
  allRead = true;
  std::string text(list);
  std::erase(text, ' ');
  std::vector<int64_t> indexes;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string_view piece = std::string_view(text).substr(start, comma - start);
    int64_t number = 0;
    if (ReadPiece(piece, number)) {
      indexes.push_back(number);
    } else if (!piece.empty()) {
      allRead = false;
    }
    start = comma + 1;
  }
  std::sort(indexes.begin(), indexes.end(), std::greater<>());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  return indexes;
}

bool RemoveMailAtIndex(ThreadContext* context, uint32_t index) {
  Mailbox* mailbox = MailboxOf(context);
  if (mailbox == nullptr) return false;
  std::vector<std::string> filesToDelete;
  const bool removed = index < mailbox->Index().Count() &&
                       RemoveItem(*mailbox, mailbox->Index().IdAt(index), filesToDelete);
  ForgetEntriesGone(context);
  const bool saved = SaveThenDelete(*mailbox, filesToDelete);
  return removed && saved;
}

bool RemoveMailsAtIndexes(ThreadContext* context, std::string_view list) {
  Mailbox* mailbox = MailboxOf(context);
  if (mailbox == nullptr) return false;
  bool allRemoved = true;
  const std::vector<int64_t> indexes = IndexesOfList(list, allRemoved);
  std::vector<std::string> filesToDelete;
  for (const int64_t index : indexes) {
    const bool named = index >= 0 && index < mailbox->Index().Count();
    const bool removed =
        named && RemoveItem(*mailbox, mailbox->Index().IdAt(static_cast<uint32_t>(index)),
                            filesToDelete);
    allRemoved = allRemoved && removed;
  }
  ForgetEntriesGone(context);
  const bool saved = SaveThenDelete(*mailbox, filesToDelete);
  return allRemoved && saved;
}

}  // namespace quorvel
