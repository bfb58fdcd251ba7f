// Filing what arrives from outside: a received exchange file (copied in and
// placed under the item its stamp names) and a plain received mail (written
// as an item of its own kind).
//
// A received file is read completely before anything is filed, so that one
// which turns out not to be a message never enters the index and leaves no
// copy behind.
#include <new>
#include <optional>
#include <utility>

#include "exchange/ExchangeFile.h"
#include "exchange/ItemKey.h"
#include "exchange/ItemStamp.h"
#include "exchange/PlainTextMessage.h"
#include "exchange/RecordKinds.h"
#include "frame/LogEvents.h"
#include "frame/UniqueNames.h"
#include "mailbox/ItemRecord.h"
#include "mailbox/Mailbox.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

// What a received file says about itself.
struct ReceivedItem {
  exchange::ItemStamp stamp;
  exchange::StampKeys keys;
  IndexEntry described;
  uint32_t number = 0;
  uint16_t content = 0;
};

// What a received file may unpack to: a packed file is seldom a hundredth
// of what it holds, unless it holds little; one that claims more (a few
// kilobytes that unpack to gigabytes) is refused before it fills the disk.
constexpr uint64_t kUnpackedAlwaysAllowed = uint64_t{64} << 20;
constexpr uint64_t kLargestPackingRatio = 100;

std::optional<ReceivedItem> ReadReceived(const std::string& path) {
  exchange::ExchangeFile file;
  const std::optional<uint64_t> packed = platform::FileLength(path);
  if (!packed) return std::nullopt;
  file.LimitUnpackedLength(kUnpackedAlwaysAllowed + kLargestPackingRatio * *packed);
  // Read where it lies: the received bytes are written once, when they are
  // filed, and never unpacked to disk.
  file.ReadInMemory();
  if (!file.Open(path, true, false)) return std::nullopt;
  ReceivedItem item;
  const bool readable =
      item.stamp.Read(file) && DescribeMessage(file, item.described, &item.number);
  if (readable) {
    item.content = ContentAttributes(file);
    item.keys = exchange::ReadStampKeys(file);
  }
  file.Close();
  if (!readable) return std::nullopt;
  return item;
}

// Every field but the routes, which stay the copy's own.
void CopyEntry(const IndexEntry& entry, IndexEntry& copy) {
  std::vector<std::string> keptRoutes = std::move(copy.outRoutes);
  copy = entry;
  copy.outRoutes = std::move(keptRoutes);
}

}  // namespace

std::optional<uint32_t> Mailbox::HeldAlready(const std::string& path,
                                             const exchange::StampKeys& keys) const {
  if (!keys.own) return std::nullopt;
  const std::optional<uint32_t> held = keys_.Find(*keys.own, index_);
  if (held) {
    SetLogValue(kKeySourcePath, path);
    WriteLogEvent(kEventItemReceivedTwice);
  }
  return held;
}

// The item answered is found by its key when the stamp names one: ids are
// each mailbox's own. A key of an item this mailbox does not hold makes a
// new thread. A stamp without keys names its parent by id.
uint32_t Mailbox::ParentOf(const exchange::ItemStamp& stamp,
                           const exchange::StampKeys& keys) const {
  if (!keys.parent) return stamp.parentId;
  return keys_.Find(*keys.parent, index_).value_or(0);
}

uint32_t Mailbox::ImportExchangeFile(const std::string& path, uint32_t* outIndex,
                                     IndexEntry* entryCopy, uint32_t* number, bool* notAnItem,
                                     bool take) {
  if (notAnItem != nullptr) *notAnItem = false;
  std::optional<ReceivedItem> received;
  try {
    received = ReadReceived(path);
  } catch (const std::bad_alloc&) {
    return kNoItem;
  }
  if (!received) {
    if (notAnItem != nullptr) *notAnItem = true;
    return kNoItem;
  }
  if (const std::optional<uint32_t> held = HeldAlready(path, received->keys)) {
    const uint32_t heldAt = *index_.Find(*held);
    if (outIndex != nullptr) *outIndex = heldAt;
    if (entryCopy != nullptr) CopyEntry(std::as_const(index_).EntryAt(heldAt), *entryCopy);
    if (number != nullptr) *number = received->number;
    return *held;
  }
  IndexEntry* entry = nullptr;
  uint32_t position = 0;
  // Taken, the file moves to an item's name (the name is taken first, then
  // given to the file); one that stays unfiled goes back.
  std::string taken;
  if (take) {
    taken = UniqueNameFrom(nameHint_, "qv6", directory_);
    if (!taken.empty() && !(platform::RemoveFile(taken) && platform::RenameFile(path, taken))) {
      taken.clear();
    }
  }
  const uint32_t id = FileItem(taken.empty() ? path : taken, ParentOf(received->stamp, received->keys),
                               nullptr, nullptr, &position, &entry, taken.empty());
  if (id == kNoItem) {
    if (!taken.empty()) platform::RenameFile(taken, path);
    return kNoItem;
  }
  entry->messageType = received->described.messageType;
  entry->correspondent = received->described.correspondent;
  entry->messageFlagA = received->described.messageFlagA;
  entry->messageFlagB = received->described.messageFlagB;
  entry->date = platform::UtcSecondsNow();
  entry->writtenTime = received->stamp.modified;
  entry->sourceId = received->stamp.parentId;
  entry->attributes = kItemUnread | received->content;
  keys_.Learn(id, *entry, received->keys.own);
  if (entryCopy != nullptr) CopyEntry(*entry, *entryCopy);
  if (outIndex != nullptr) *outIndex = position;
  if (number != nullptr) *number = received->number;
  return id;
}

uint32_t Mailbox::ImportPlainMail(const std::string& text, uint32_t* outIndex) {
  if (!isOpen_ || readOnly_) return kNoItem;
  const std::string path = UniqueNameFrom(nameHint_, "qv6", directory_);
  if (path.empty()) return kNoItem;
  bool written = false;
  try {
    exchange::ExchangeFile file;
    if (file.Open(path, false, true)) {
      exchange::PlainTextMessage message;
      message.plainText = text;
      written = file.SetKind(exchange::kKindPlainTextMessage) && message.Write(file);
      written = file.Close() && written;
    }
  } catch (const std::bad_alloc&) {
    written = false;
  }
  const uint32_t id =
      written ? FileItem(path, 0, nullptr, nullptr, outIndex, nullptr, false) : kNoItem;
  if (id == kNoItem) RemoveItemFile(path);
  return id;
}

}  // namespace quorvel
