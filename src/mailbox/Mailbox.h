// Mailbox: one open mailbox directory, its index "Mailbox.inv" (held open
// exclusively for the mailbox's whole life, so that no other context or
// process can open the same mailbox) and the working copy through which an
// item is read. A context owns at most one; the writers, queries, receiving,
// sending and removal all work through it.
//
// Saving is atomic: what changed goes to a journal in a side file beside the
// index and is made durable there; the index itself is written out when the
// journal starts anew and when the mailbox closes (IndexFiles.h). Opening
// prefers the image a complete journal leads to (a save that did not
// finish) when the journal applies to the index, and
// rebuilds an index that cannot be read, or that its seal does not vouch
// for, from the item files, keeping the damaged file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "exchange/ExchangeFile.h"
#include "exchange/ItemKey.h"
#include "exchange/ItemStamp.h"
#include "frame/ThreadContext.h"
#include "mailbox/IndexFiles.h"
#include "mailbox/ItemIndex.h"
#include "mailbox/ItemKeys.h"
#include "mailbox/ListedItems.h"
#include "mailbox/OutboxRecords.h"
#include "quorvel/CodedText.h"
#include "quorvel/CodedTextArray.h"
#include "quorvel/IndexEntry.h"

namespace quorvel {

inline constexpr uint32_t kNoItem = 0xFFFFFFFF;

class Mailbox : public ContextMailbox {
 public:
  Mailbox() = default;
  Mailbox(const Mailbox&) = delete;
  Mailbox& operator=(const Mailbox&) = delete;
  // Closes without a forced save.
  ~Mailbox() override;

  // Opens the mailbox in `directory` (created when missing). An index held by
  // another opener is tried `attempts` times, `pauseMilliseconds` apart.
  bool OpenIndex(const std::string& directory, bool readOnly, uint16_t attempts,
                 uint16_t pauseMilliseconds);
  // Releases the working copy, saves when writable and dirty (or forced) and
  // lets the index go. False only when a needed save failed.
  bool CloseIndex(bool forceSave);
  // Writes the index; on failure the previous index stays complete on disk.
  bool SaveIndex();

  // Files `path` as a new item under `parentId` (0, or an id not in the
  // index: a new thread root). With `copy`, the file is copied into the
  // mailbox as "~AT" n ".qv6"; without, it must lie in the mailbox directory.
  // Does not save. Answers the new id, or kNoItem.
  uint32_t FileItem(const std::string& path, uint32_t parentId,
                    const std::vector<std::string>* routes, const CodedTextArray* names,
                    uint32_t* outIndex, IndexEntry** outEntry, bool copy);
  // Files a finished exchange file as a new thread root, stamps the mailbox's
  // copy and queues it for sending. Does not save. `entryCopy` receives every
  // field of the new entry but its routes. On failure nothing stays filed.
  uint32_t FileNewMail(const std::string& path, const std::vector<std::string>& routes,
                       const CodedTextArray& names, uint32_t* outIndex = nullptr,
                       IndexEntry* entryCopy = nullptr);
  // As FileNewMail, as a reply to `parentId`, with one route and one name
  // (none when its text is empty).
  uint32_t FileReply(const std::string& path, uint32_t parentId, std::string route,
                     CodedText name, uint32_t* outIndex = nullptr, IndexEntry* entryCopy = nullptr);

  // Writes an item straight into the mailbox as a reply to `parentId` (0, or
  // an id not in the index: a new thread root), stamped before it is packed
  // and queued for sending along `route`. `write` writes the item at the
  // path it is given and hands it to the finisher before packing; it answers
  // the name the entry keeps (none when its text is empty), or nothing when
  // the item could not be written. Does not save. On failure nothing stays
  // filed and the id is given back.
  using ItemWriter =
      std::function<std::optional<CodedText>(const std::string&, const exchange::ItemFinisher&)>;
  uint32_t FileWritten(uint32_t parentId, std::string route, const ItemWriter& write);

  // Files a copy of a received exchange file under the item its stamp names
  // as parent (a new thread root when there is none), marked unread: the
  // item whose key the stamp names when it names one, else the item whose
  // id it names. A file whose own key is an item's of this mailbox already
  // is not filed again: the answer is that item's id. The
  // received file is only read. Does not save. `entryCopy` receives every
  // field of the new entry but its routes; `number` the message's number. A
  // file that opens but whose kind or main record is not one of a message
  // leaves nothing filed. `notAnItem` (when given) tells a file that does
  // not read as a received item from one that could not be filed. With
  // `take` the file itself becomes the item by a rename when it can (it
  // lies on the mailbox's file system), instead of being copied; filed or
  // not, it is then no longer at `path`, or it is left there.
  uint32_t ImportExchangeFile(const std::string& path, uint32_t* outIndex = nullptr,
                              IndexEntry* entryCopy = nullptr, uint32_t* number = nullptr,
                              bool* notAnItem = nullptr, bool take = false);
  // Files `text` (a whole received mail) as a new thread root of kind 23.
  // Does not save.
  uint32_t ImportPlainMail(const std::string& text, uint32_t* outIndex = nullptr);

  // Read access to an item through a private copy in the temporary directory:
  // nothing done to it reaches the stored file. Null on failure.
  exchange::ExchangeFile* LoadItem(uint32_t id, bool readOnly);
  void ReleaseItem();

  // Lookups by id.
  std::optional<uint32_t> FindItem(uint32_t id) const { return index_.Find(id); }
  IndexEntry* EntryOf(uint32_t id) { return index_.EntryOf(id); }

  const ItemKeys& Keys() const { return keys_; }
  // The second record of what is still to be sent.
  OutboxRecords& Outbox() { return outbox_; }
  MailboxIndex& Index() { return index_; }
  const MailboxIndex& Index() const { return index_; }
  const std::string& Directory() const { return directory_; }
  // The bytes "Mailbox.inv" holds once the last save reaches it (the file
  // with the journal's records applied), read through the held files (on
  // Windows no other handle may read them while the mailbox is open).
  // Throws platform::FileError.
  std::string SavedIndexBytes() { return indexFile_.SavedImage(); }
  // The item file of an entry.
  std::string PathOf(const IndexEntry& entry) const { return directory_ + entry.fileName; }
  bool IsOpen() const { return isOpen_; }
  bool IsReadOnly() const { return readOnly_; }
  uint32_t NextId() const { return nextId_; }
  uint32_t LastSaveTime() const { return lastSaveTime_; }
  bool IsDirty() const { return dirty_; }
  void SetDirty(bool dirty) { dirty_ = dirty; }
  uint32_t WorkingItemId() const { return workingItemId_; }
  // An item file was deleted: its "~AT" number may be given out again.
  void NameFreed(const std::string& fileName);

  // Removed items whose files may stay: recorded (durably, answering
  // whether that worked) before the save that forgets them, so that no open
  // files them again; an open deletes them when it can.
  bool RecordRemovedFiles(const std::vector<std::string>& paths);
  // A recorded file was deleted after all.
  void RemovedFileDeleted(const std::string& path);

 private:
  uint32_t FileStamped(const std::string& path, uint32_t parentId,
                       const std::vector<std::string>& routes, const CodedTextArray& names,
                       uint32_t* outIndex, IndexEntry* entryCopy);
  std::optional<uint32_t> HeldAlready(const std::string& path,
                                      const exchange::StampKeys& keys) const;
  uint32_t ParentOf(const exchange::ItemStamp& stamp, const exchange::StampKeys& keys) const;
  bool StampAndDescribe(uint32_t id, uint32_t parentId, IndexEntry& entry);
  bool StampInto(exchange::ExchangeFile& item, uint32_t id, uint32_t parentId, IndexEntry& entry);
  // A stamped item joins the outbox queue and its key is learnt.
  uint32_t Queue(uint32_t id, uint32_t position, IndexEntry& entry, uint32_t* outIndex,
                 IndexEntry* entryCopy);
  void Unfile(uint32_t id);
  // Deletes an item file this mailbox made, giving its name back.
  void RemoveItemFile(const std::string& path);
  void LoadOrRecover(bool created);
  // Files the item files the index does not list, but for removed ones,
  // when the directory may hold such files for an index of `index` bytes
  // (nothing: it may).
  void AdoptLeftItems(std::optional<std::string_view> index);
  // The recorded removed files that are still there.
  std::unordered_set<std::string> SettleRemovedFiles();
  bool ReadImage(const std::string& image);

  std::string directory_;
  IndexFiles indexFile_;  // "Mailbox.inv" and the side file of its saves
  uint8_t readOnly_ = 0;
  uint8_t isOpen_ = 0;
  MailboxIndex index_;
  ItemKeys keys_;
  OutboxRecords outbox_;
  ListedItems listed_;
  uint32_t nextId_ = 1;
  uint32_t lastSaveTime_ = 0;
  uint32_t dirty_ = 0;
  // An item was filed since the last save that succeeded.
  bool unsavedItems_ = false;
  // The index file was written since the open read it.
  bool indexWritten_ = false;
  exchange::ExchangeFile workingCopy_;
  std::string workingCopyPath_;
  uint32_t workingItemId_ = kNoItem;
  // No "~AT" n ".qv6" below this number is free: the mailbox alone makes such
  // names in its directory. Whoever deletes an item file lowers it to the
  // number freed, so that names stay the smallest free ones.
  uint32_t nameHint_ = 0;
};

// The mailbox a context owns, or null.
Mailbox* MailboxOf(ThreadContext* context);

}  // namespace quorvel
