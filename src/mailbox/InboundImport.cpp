// Filing what arrives from outside: a received exchange file (copied in and
// placed under the item its stamp names) and a plain received mail (written
// as an item of its own kind).
//
// A received file is read completely before anything is filed, so that one
// which turns out not to be a message never enters the index and leaves no
// copy behind.
#include <new>
#include <optional>

#include "exchange/ExchangeFile.h"
#include "exchange/ItemStamp.h"
#include "exchange/PlainTextMessage.h"
#include "exchange/RecordKinds.h"
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
  if (!file.Open(path, true, false)) return std::nullopt;
  ReceivedItem item;
  const bool readable =
      item.stamp.Read(file) && DescribeMessage(file, item.described, &item.number);
  if (readable) item.content = ContentAttributes(file);
  file.Close();
  if (!readable) return std::nullopt;
  return item;
}

}  // namespace

uint32_t Mailbox::ImportExchangeFile(const std::string& path, uint32_t* outIndex,
                                     IndexEntry* entryCopy, uint32_t* number, bool* notAnItem) {
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
  IndexEntry* entry = nullptr;
  uint32_t position = 0;
  const uint32_t id =
      FileItem(path, received->stamp.parentId, nullptr, nullptr, &position, &entry, true);
  if (id == kNoItem) return kNoItem;
  entry->messageType = received->described.messageType;
  entry->correspondent = received->described.correspondent;
  entry->messageFlagA = received->described.messageFlagA;
  entry->messageFlagB = received->described.messageFlagB;
  entry->date = platform::UtcSecondsNow();
  entry->writtenTime = received->stamp.modified;
  entry->sourceId = received->stamp.parentId;
  entry->attributes = kItemUnread | received->content;
  if (entryCopy != nullptr) {
    std::vector<std::string> keptRoutes = std::move(entryCopy->outRoutes);
    *entryCopy = *entry;
    entryCopy->outRoutes = std::move(keptRoutes);
  }
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
