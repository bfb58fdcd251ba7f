#include "mailbox/ItemQueries.h"

#include <optional>
#include <utility>

#include "exchange/Markup.h"
#include "exchange/PlainTextMessage.h"
#include "exchange/PupilMessage.h"
#include "exchange/RecordKinds.h"
#include "exchange/TimedMessage.h"
#include "exchange/TutorReply.h"
#include "mailbox/Mailbox.h"
#include "platform/CodePages.h"

namespace quorvel {

namespace {

constexpr int32_t kNoAnswer = -1;

// The mailbox with an item at `index`, or null.
Mailbox* MailboxWithIndex(ThreadContext* context, uint32_t index) {
  Mailbox* mailbox = MailboxOf(context);
  if (mailbox == nullptr || !mailbox->IsOpen() || index >= mailbox->Index().Count()) {
    return nullptr;
  }
  return mailbox;
}

struct Located {
  Mailbox* mailbox = nullptr;
  uint32_t position = 0;
};

std::optional<Located> LocateId(ThreadContext* context, uint32_t id) {
  Mailbox* mailbox = MailboxOf(context);
  if (mailbox == nullptr || !mailbox->IsOpen()) return std::nullopt;
  const std::optional<uint32_t> position = mailbox->FindItem(id);
  if (!position) return std::nullopt;
  return Located{mailbox, *position};
}

// Position of the item's parent; nothing for a thread root.
std::optional<uint32_t> ParentPositionOf(const Located& item) {
  return item.mailbox->Index().ParentPosition(item.position);
}

template <typename Block>
WideString TextOfBlock(exchange::ExchangeFile& file) {
  Block block;
  return block.Read(file) ? block.text : WideString();
}

WideString TextOfItem(exchange::ExchangeFile& file) {
  switch (file.Kind()) {
    case exchange::kKindPupilMail: return TextOfBlock<exchange::PupilMessage>(file);
    case exchange::kKindTutorReply: return TextOfBlock<exchange::TutorReply>(file);
    case exchange::kKindTimedMessage: return TextOfBlock<exchange::TimedMessage>(file);
    case exchange::kKindPlainTextMessage: {
      exchange::PlainTextMessage message;
      if (!message.Read(file)) return WideString();
      return exchange::TextToMarkup(message.plainText, platform::kCodePageWestern);
    }
    default: return WideString();
  }
}

// The item at `index` for reading only: it stays as the last save left it.
const IndexEntry* ReadItemAt(ThreadContext* context, uint32_t index) {
  const Mailbox* mailbox = MailboxWithIndex(context, index);
  return mailbox == nullptr ? nullptr : &mailbox->Index().EntryAt(index);
}

}  // namespace

IndexEntry* ItemAtIndex(ThreadContext* context, uint32_t index) {
  Mailbox* mailbox = MailboxWithIndex(context, index);
  return mailbox == nullptr ? nullptr : &mailbox->Index().HandOut(index);
}

IndexEntry* ItemAtId(ThreadContext* context, uint32_t id) {
  const std::optional<Located> item = LocateId(context, id);
  return item ? &item->mailbox->Index().HandOut(item->position) : nullptr;
}

int32_t SourceIdOf(ThreadContext* context, uint32_t id) {
  const std::optional<Located> item = LocateId(context, id);
  if (!item) return kNoAnswer;
  return static_cast<int32_t>(std::as_const(item->mailbox->Index()).EntryAt(item->position).sourceId);
}

int32_t ParentIdOf(ThreadContext* context, uint32_t id) {
  const std::optional<Located> item = LocateId(context, id);
  if (!item) return kNoAnswer;
  const std::optional<uint32_t> parent = ParentPositionOf(*item);
  return parent ? static_cast<int32_t>(item->mailbox->Index().IdAt(*parent)) : kNoParentItem;
}

int32_t ParentIndexOf(ThreadContext* context, uint32_t id) {
  const std::optional<Located> item = LocateId(context, id);
  if (!item) return kNoAnswer;
  const std::optional<uint32_t> parent = ParentPositionOf(*item);
  return parent ? static_cast<int32_t>(*parent) : kNoParentItem;
}

int16_t AttributesAt(ThreadContext* context, uint32_t index) {
  const IndexEntry* entry = ReadItemAt(context, index);
  return entry == nullptr ? int16_t{-1} : static_cast<int16_t>(entry->attributes);
}

bool ChangeAttributesAt(ThreadContext* context, uint32_t index, uint16_t set, int32_t clear) {
  Mailbox* mailbox = MailboxWithIndex(context, index);
  if (mailbox == nullptr) return false;
  IndexEntry* entry = &mailbox->Index().EntryAt(index);
  entry->attributes = static_cast<uint16_t>((entry->attributes | set) & ~clear);
  mailbox->SetDirty(true);  // saved at the latest when the mailbox closes
  return true;
}

uint32_t DateAt(ThreadContext* context, uint32_t index) {
  const IndexEntry* entry = ReadItemAt(context, index);
  return entry == nullptr ? 0 : entry->date;
}

int32_t MessageTypeAt(ThreadContext* context, uint32_t index) {
  Mailbox* mailbox = MailboxWithIndex(context, index);
  if (mailbox == nullptr) return static_cast<int32_t>(kNoMessageType);
  exchange::ExchangeFile* item = mailbox->LoadItem(mailbox->Index().IdAt(index), false);
  return item == nullptr ? static_cast<int32_t>(kNoMessageType) : item->Kind();
}

WideString MessageTextAt(ThreadContext* context, uint32_t index) {
  Mailbox* mailbox = MailboxWithIndex(context, index);
  if (mailbox == nullptr) return WideString();
  const uint32_t id = mailbox->Index().IdAt(index);
  exchange::ExchangeFile* item = mailbox->LoadItem(id, true);
  if (item == nullptr) return WideString();
  WideString text = TextOfItem(*item);
  mailbox->Index().EntryAt(index).attributes &= static_cast<uint16_t>(~kItemUnread);
  mailbox->SaveIndex();
  return text;
}

}  // namespace quorvel
