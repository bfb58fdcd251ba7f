// Opening, saving and closing a mailbox, filing items and the working copy.
#include "mailbox/Mailbox.h"

#include <algorithm>
#include <new>
#include <unordered_set>
#include <utility>

#include "exchange/Archive.h"
#include "exchange/ItemKey.h"
#include "exchange/ItemStamp.h"
#include "frame/Directories.h"
#include "frame/LogEvents.h"
#include "frame/UniqueNames.h"
#include "mailbox/IndexFormat.h"
#include "mailbox/ItemRecord.h"
#include "mailbox/MailboxRecovery.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

// Location numbers of the file errors this file catches and logs.
constexpr uint32_t kLocationIndexSave = 510;
constexpr uint32_t kLocationIndexOpen = 511;

constexpr const char* kItemExtension = "qv6";
constexpr const char* kWorkingExtension = "qvz";

using platform::FileNameOf;

}  // namespace

Mailbox::~Mailbox() { CloseIndex(false); }

bool Mailbox::OpenIndex(const std::string& directory, bool readOnly, uint16_t attempts,
                        uint16_t pauseMilliseconds) {
  CloseIndex(false);
  dirty_ = 0;
  unsavedItems_ = false;
  indexWritten_ = false;
  nextId_ = 1;
  index_.Reset();
  index_.outboxQueue.clear();
  nameHint_ = 0;
  readOnly_ = readOnly ? 1 : 0;
  directory_ = NormaliseDirectory(directory);
  if (!platform::IsExistingDirectory(directory_)) CreateDirectoryPath(directory_);
  const std::optional<platform::FileStamp> before = platform::DirectoryStampOf(directory_);
  const IndexFiles::Opened opened =
      indexFile_.Open(directory_, readOnly, attempts, pauseMilliseconds);
  if (opened == IndexFiles::Opened::Busy || opened == IndexFiles::Opened::Failed) return false;
  if (opened == IndexFiles::Opened::Created) readOnly_ = 0;
  if (!indexFile_.CanSave()) readOnly_ = 1;
  listed_.Open(directory_, readOnly_ != 0, before);
  outbox_.Read(directory_);
  try {
    LoadOrRecover(opened == IndexFiles::Opened::Created);
  } catch (const platform::FileError& error) {
    LogException(kLocationIndexOpen, error);
    indexFile_.Close();
    index_.Reset();
    index_.outboxQueue.clear();
    outbox_.Close();
    listed_.Abandon();
    return false;
  }
  keys_.Open(directory_, index_, readOnly_ != 0);
  outbox_.Attach(directory_, index_, readOnly_ != 0);
  isOpen_ = 1;
  return true;
}

// The image a journal leads to wins when the journal applies to the index
// file; else the index file, when its seal (if any) vouches for it. When
// neither reads, the damaged file is kept aside and the index is rebuilt
// from the item files, with what the damaged one still tells of them.
void Mailbox::LoadOrRecover(bool created) {
  const std::string bytes = indexFile_.ReadIndex();
  if (const std::optional<std::string> unfinished = indexFile_.UnfinishedSave(bytes)) {
    if (ReadImage(*unfinished)) {
      indexWritten_ = true;
      if (!readOnly_) indexFile_.FinishSave(*unfinished);
      AdoptLeftItems(std::nullopt);
      return;
    }
  }
  if (!readOnly_) indexFile_.DropJournal();
  const std::optional<IndexSeal>& seal = indexFile_.SealFound();
  if ((!seal || seal->Vouches(bytes)) && ReadImage(bytes)) {
    AdoptLeftItems(bytes);
    return;
  }
  if (!readOnly_ && !bytes.empty()) KeepDamagedIndex(directory_, bytes);
  const std::unordered_set<std::string> removed = SettleRemovedFiles();
  listed_.Listed();
  nextId_ = RebuildIndex(directory_, ReadableNextId(bytes), index_, removed);
  const std::unordered_set<uint32_t> kept = KeepStatesOfDamagedIndex(bytes, index_);
  std::unordered_set<uint32_t> others;
  for (uint32_t i = 0; i < index_.Count(); ++i) {
    if (kept.count(index_.IdAt(i)) == 0) others.insert(index_.IdAt(i));
  }
  outbox_.Restore(index_, others);
  dirty_ = 1;
  if (!readOnly_ && !(created && index_.Count() == 0)) SaveIndex();
}

void Mailbox::AdoptLeftItems(std::optional<std::string_view> index) {
  const std::unordered_set<std::string> removed = SettleRemovedFiles();
  if (index && !listed_.MustList(*index)) return;
  listed_.Listed();
  std::unordered_set<uint32_t> adopted;
  if (AdoptUnlistedItems(directory_, index_, nextId_, removed, &adopted) == 0) return;
  outbox_.Restore(index_, adopted);
  if (!readOnly_) SaveIndex();
}

// A removed item's file that still cannot be deleted stays recorded; one
// that is gone, or that the index lists (the removal was never saved), is
// no longer.
std::unordered_set<std::string> Mailbox::SettleRemovedFiles() {
  if (indexFile_.RemovedNames().empty()) return {};
  std::unordered_set<std::string> listed;
  for (uint32_t i = 0; i < index_.Count(); ++i) listed.insert(std::as_const(index_).EntryAt(i).fileName);
  std::vector<std::string>& names = indexFile_.RemovedNames();
  std::unordered_set<std::string> left;
  const size_t before = names.size();
  std::erase_if(names, [&](const std::string& name) {
    if (!IsPlainFileName(name) || name.empty() || listed.count(name) != 0) return true;
    const std::string path = directory_ + name;
    if (!platform::IsExistingFile(path) || (!readOnly_ && platform::RemoveFile(path))) return true;
    left.insert(name);
    return false;
  });
  if (names.size() != before && !readOnly_) indexFile_.WriteSeal();
  return left;
}

bool Mailbox::RecordRemovedFiles(const std::vector<std::string>& paths) {
  std::vector<std::string>& names = indexFile_.RemovedNames();
  for (const std::string& path : paths) names.push_back(FileNameOf(path));
  return indexFile_.WriteSeal();
}

void Mailbox::RemovedFileDeleted(const std::string& path) {
  std::vector<std::string>& names = indexFile_.RemovedNames();
  const auto found = std::find(names.begin(), names.end(), FileNameOf(path));
  if (found != names.end()) names.erase(found);
}

bool Mailbox::ReadImage(const std::string& image) {
  try {
    const IndexHead head = DecodeIndexImage(image, index_);
    lastSaveTime_ = head.lastSaveTime;
    // An id at or above nextId would be given out a second time.
    nextId_ = std::max(head.nextId, index_.HighestId() + 1);
    return true;
  } catch (const exchange::ArchiveError&) {
    index_.Reset();
    index_.outboxQueue.clear();
    return false;
  }
}

bool Mailbox::CloseIndex(bool forceSave) {
  if (!isOpen_) return true;
  ReleaseItem();
  bool saved = true;
  if (!readOnly_ && (dirty_ || forceSave)) saved = SaveIndex();
  std::string bytes;
  try {
    // An index not written since it was read at the open is known.
    if (!readOnly_ && indexWritten_) {
      indexFile_.WriteOut();
      bytes = indexFile_.ReadIndex();
    }
  } catch (const platform::FileError&) {
    bytes.clear();
  }
  indexFile_.Close();
  keys_.Close();
  outbox_.Close();
  // Recorded once the directory holds what it will hold while closed, and
  // only when the index lists every item filed.
  if (!readOnly_ && !unsavedItems_ && !(indexWritten_ && bytes.empty())) {
    listed_.Close(indexWritten_ ? std::optional<std::string_view>(bytes) : std::nullopt);
  } else {
    listed_.Abandon();
  }
  isOpen_ = 0;
  return saved;
}

bool Mailbox::SaveIndex() {
  if (!indexFile_.IsOpen() || readOnly_) return false;
  indexWritten_ = true;
  try {
    lastSaveTime_ = platform::UtcSecondsNow();
    indexFile_.Save(nextId_, lastSaveTime_, index_, index_.Edits());
    index_.MarkSaved();
    unsavedItems_ = false;
    return true;
  } catch (const platform::FileError& error) {
    LogException(kLocationIndexSave, error);
  } catch (const std::bad_alloc&) {
  }
  // The last saved image may or may not be the one just encoded.
  index_.ForgetSaved();
  return false;
}

uint32_t Mailbox::FileItem(const std::string& path, uint32_t parentId,
                           const std::vector<std::string>* routes, const CodedTextArray* names,
                           uint32_t* outIndex, IndexEntry** outEntry, bool copy) {
  if (!isOpen_ || readOnly_ || nextId_ == 0 || nextId_ > kHighestUsableId) return kNoItem;
  std::string filed = path;
  if (copy) {
    filed = UniqueNameFrom(nameHint_, kItemExtension, directory_);
    if (!platform::DuplicateFile(path, filed, false)) {
      RemoveItemFile(filed);  // the name it took
      return kNoItem;
    }
  } else if (!platform::IsExistingFile(path)) {
    return kNoItem;
  }
  platform::SetReadOnly(filed, false);
  const auto unfiled = [&] {
    if (copy) RemoveItemFile(filed);
    return kNoItem;
  };
  uint32_t position = index_.Count();
  uint8_t depth = 0;
  if (parentId != 0) {
    if (const std::optional<uint32_t> parent = index_.Find(parentId)) {
      const uint8_t parentDepth = std::as_const(index_).EntryAt(*parent).depth;
      if (parentDepth == 255) return unfiled();
      depth = static_cast<uint8_t>(parentDepth + 1);
      position = index_.SubtreeEnd(*parent);
    }
  }
  try {
    auto entry = std::make_unique<IndexEntry>();
    entry->depth = depth;
    if (names != nullptr) {
      for (uint32_t i = 0; i < names->Size(); ++i) entry->nameList.Add((*names)[i]);
    }
    if (routes != nullptr) entry->outRoutes = *routes;
    entry->fileName = FileNameOf(filed);
    RemovedFileDeleted(filed);  // a name given out again is an item's
    IndexEntry* made = entry.get();
    const uint32_t id = nextId_++;
    index_.Insert(position, id, std::move(entry));
    unsavedItems_ = true;
    if (outIndex != nullptr) *outIndex = position;
    if (outEntry != nullptr) *outEntry = made;
    return id;
  } catch (const std::bad_alloc&) {
    return unfiled();
  }
}

uint32_t Mailbox::FileNewMail(const std::string& path, const std::vector<std::string>& routes,
                              const CodedTextArray& names, uint32_t* outIndex,
                              IndexEntry* entryCopy) {
  return FileStamped(path, 0, routes, names, outIndex, entryCopy);
}

uint32_t Mailbox::FileReply(const std::string& path, uint32_t parentId, std::string route,
                            CodedText name, uint32_t* outIndex, IndexEntry* entryCopy) {
  const std::vector<std::string> routes{std::move(route)};
  CodedTextArray names;
  if (!name.text.IsEmpty()) names.Add(name);
  return FileStamped(path, parentId, routes, names, outIndex, entryCopy);
}

uint32_t Mailbox::FileStamped(const std::string& path, uint32_t parentId,
                              const std::vector<std::string>& routes, const CodedTextArray& names,
                              uint32_t* outIndex, IndexEntry* entryCopy) {
  IndexEntry* entry = nullptr;
  uint32_t position = 0;
  const uint32_t id = FileItem(path, parentId, &routes, &names, &position, &entry, true);
  if (id == kNoItem) return kNoItem;
  if (!StampAndDescribe(id, parentId, *entry)) {
    // A mail that is not filed leaves nothing behind but its used-up id.
    Unfile(id);
    return kNoItem;
  }
  return Queue(id, position, *entry, outIndex, entryCopy);
}

uint32_t Mailbox::FileWritten(uint32_t parentId, std::string route, const ItemWriter& write) {
  if (!isOpen_ || readOnly_) return kNoItem;
  const std::string reserved = UniqueNameFrom(nameHint_, kItemExtension, directory_);
  if (reserved.empty()) return kNoItem;
  const std::vector<std::string> routes{std::move(route)};
  IndexEntry* entry = nullptr;
  uint32_t position = 0;
  const uint32_t id = FileItem(reserved, parentId, &routes, nullptr, &position, &entry, false);
  if (id == kNoItem) {
    RemoveItemFile(reserved);
    return kNoItem;
  }
  const std::optional<CodedText> name = write(
      reserved, [&](exchange::ExchangeFile& item) { return StampInto(item, id, parentId, *entry); });
  if (!name) {
    // Nothing of the item was recorded anywhere: its id is given back.
    Unfile(id);
    if (nextId_ == id + 1) nextId_ = id;
    return kNoItem;
  }
  if (!name->text.IsEmpty()) entry->nameList.Add(*name);
  return Queue(id, position, *entry, nullptr, nullptr);
}

uint32_t Mailbox::Queue(uint32_t id, uint32_t position, IndexEntry& entry, uint32_t* outIndex,
                        IndexEntry* entryCopy) {
  keys_.Learn(id, entry, keys_.NewKey(id));
  if (entryCopy != nullptr) {
    std::vector<std::string> keptRoutes = std::move(entryCopy->outRoutes);
    *entryCopy = entry;
    entryCopy->outRoutes = std::move(keptRoutes);
  }
  index_.outboxQueue.push_back(id);
  outbox_.Queued(id, entry);
  if (outIndex != nullptr) *outIndex = position;
  return id;
}

bool Mailbox::StampAndDescribe(uint32_t id, uint32_t parentId, IndexEntry& entry) {
  exchange::ExchangeFile item;
  if (!item.Open(PathOf(entry), false, false)) return false;
  if (!StampInto(item, id, parentId, entry)) {
    item.Close();
    return false;
  }
  return item.Close();
}

bool Mailbox::StampInto(exchange::ExchangeFile& item, uint32_t id, uint32_t parentId,
                        IndexEntry& entry) {
  exchange::ItemStamp stamp;
  stamp.itemId = id;
  stamp.parentId = parentId;
  // The keys name this item and the one it answers in every mailbox.
  const exchange::StampKeys keys{keys_.NewKey(id),
                                 parentId != 0 ? keys_.KeyOf(parentId) : std::nullopt};
  if (!stamp.Write(item) || !exchange::WriteStampKeys(item, keys) ||
      !DescribeMessage(item, entry)) {
    return false;
  }
  entry.date = stamp.created;
  entry.sourceId = id;
  entry.attributes = kItemNotSent | ContentAttributes(item);
  return true;
}

void Mailbox::Unfile(uint32_t id) {
  const std::optional<uint32_t> position = index_.Find(id);
  if (!position) return;
  const std::string path = PathOf(std::as_const(index_).EntryAt(*position));
  index_.RemoveAt(*position);
  std::erase(index_.outboxQueue, id);
  RemoveItemFile(path);
}

void Mailbox::RemoveItemFile(const std::string& path) {
  if (platform::RemoveFile(path)) NameFreed(FileNameOf(path));
}

void Mailbox::NameFreed(const std::string& fileName) {
  const std::string prefix = "~AT";
  const std::string suffix = std::string(".") + kItemExtension;
  if (fileName.size() <= prefix.size() + suffix.size() || fileName.rfind(prefix, 0) != 0 ||
      fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return;
  }
  const std::string digits =
      fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
  if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return;
  nameHint_ = std::min<uint32_t>(nameHint_, static_cast<uint32_t>(std::stoul(digits)));
}

exchange::ExchangeFile* Mailbox::LoadItem(uint32_t id, bool readOnly) {
  if (!isOpen_) return nullptr;
  if (id == workingItemId_ && workingCopy_.IsOpen()) return &workingCopy_;
  ReleaseItem();
  const std::optional<uint32_t> position = index_.Find(id);
  if (!position) return nullptr;
  const IndexEntry& entry = std::as_const(index_).EntryAt(*position);
  if (!IsPlainFileName(entry.fileName)) return nullptr;
  workingCopyPath_ = UniqueTempName(kWorkingExtension);
  const std::string stored = PathOf(entry);
  if (!platform::DuplicateFile(stored, workingCopyPath_, false)) {
    platform::RemoveFile(workingCopyPath_);
    return nullptr;
  }
  platform::SetReadOnly(workingCopyPath_, false);
  if (!workingCopy_.Open(workingCopyPath_, readOnly, true)) {
    platform::RemoveFile(workingCopyPath_);
    return nullptr;
  }
  workingItemId_ = id;
  return &workingCopy_;
}

void Mailbox::ReleaseItem() {
  if (!isOpen_ || !workingCopy_.IsOpen()) return;
  workingItemId_ = kNoItem;
  workingCopy_.Close();
  // A copy that cannot be deleted stays in the temporary directory.
  platform::RemoveFile(workingCopyPath_);
}

Mailbox* MailboxOf(ThreadContext* context) {
  return context == nullptr ? nullptr : static_cast<Mailbox*>(context->mailbox.get());
}

}  // namespace quorvel
