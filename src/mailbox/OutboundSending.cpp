// Routes are tried in list order, each with a message object of its own,
// and all of them even after one has delivered. What the message objects
// record as errors stays inside them: the lists, the not-sent bit and the
// queue are the only results.
#include "mailbox/OutboundSending.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "frame/UniqueNames.h"
#include "mailbox/Mailbox.h"
#include "mailbox/MailboxContext.h"
#include "mailbox/OutboundRoute.h"
#include "message/MailMessage.h"
#include "mail/MapiMailer.h"
#include "mail/NotesMailer.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

enum class Outcome { kDelivered, kNotDelivered, kNothing };

Outcome Of(bool delivered) { return delivered ? Outcome::kDelivered : Outcome::kNotDelivered; }

const char* TextOrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

// An Internet mail with the item file attached, from the route's own sender.
Outcome SendBySmtpRoute(const OutboundRoute& route, const std::string& itemPath) {
  MailMessage message(nullptr, nullptr, nullptr);  // no stop or suspend inside a route
  const std::string name = route.SenderName();
  message.SetSender(TextOrNull(route.Field(2)), static_cast<uint16_t>(route.NumberField(3)),
                    TextOrNull(route.Field(4)), name.c_str());
  message.SetRecipient(route.Field(1));
  if (!message.AddAttachment(itemPath.c_str(), nullptr, false)) return Outcome::kNothing;
  return Of(message.SendBySmtp(true, nullptr, false));
}

// The extension of an item file's name, "qv6" when it has none.
std::string ExtensionOf(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  return dot == std::string::npos || dot + 1 == fileName.size() ? "qv6" : fileName.substr(dot + 1);
}

// A copy of the item file under the first free "~AT" name of the directory.
// It is written under a name of its own there and synced, and only then
// given that name, which never replaces a file: senders sharing a directory
// never overwrite each other's items, and a receiver never meets a part of
// one (it takes only the items' extensions).
Outcome CopyToDirectory(const OutboundRoute& route, const std::string& itemPath,
                        const std::string& fileName) {
  std::string directory = route.Field(1);
  // A route without a directory names none, not the root.
  if (directory.empty()) return Outcome::kNotDelivered;
  if (directory.back() != platform::kPathSeparator) directory += platform::kPathSeparator;
  const std::string part = UniqueTempName("part", directory);
  if (part.empty()) return Outcome::kNotDelivered;
  uint32_t known = 0;
  const bool delivered =
      platform::DuplicateFile(itemPath, part, false) && platform::SyncFile(part) &&
      !UniqueNameMovedFrom(part, known, ExtensionOf(fileName), directory).empty();
  if (!delivered) {
    platform::RemoveFile(part);
    return Outcome::kNotDelivered;
  }
  // Where the directory cannot be synced (some shares), the item is there
  // all the same: it counts as delivered.
  platform::SyncDirectory(directory);
  return Outcome::kDelivered;
}

Outcome SendByNotesRoute(const OutboundRoute& route, const std::string& itemPath) {
  NotesMailer mailer(false);
  mailer.SetSubject("");
  mailer.SetBody("");
  mailer.AddSendTo(route.Field(1));
  mailer.SetFrom(route.Field(2));
  if (!mailer.AddAttachment(itemPath, nullptr)) return Outcome::kNotDelivered;
  return Of(mailer.Send());
}

// Without a MAPI provider the route records nothing.
Outcome SendByMapiRoute(const OutboundRoute& route, const std::string& itemPath) {
  MapiMailer mailer;
  if (mailer.TakeState() != MapiMailer::kReady) return Outcome::kNothing;
  mailer.AddRecipient(route.Field(1));
  if (!mailer.AddFile(itemPath, nullptr)) return Outcome::kNotDelivered;
  return Of(mailer.Send(0));
}

Outcome SendAlong(const std::string& routeText, const Mailbox& mailbox, const IndexEntry& entry) {
  const OutboundRoute route(routeText);
  const std::string itemPath = mailbox.PathOf(entry);
  switch (route.Kind()) {
    case RouteKind::kSmtp:
      return SendBySmtpRoute(route, itemPath);
    case RouteKind::kDirectory:
      return CopyToDirectory(route, itemPath, entry.fileName);
    case RouteKind::kNotes:
      return SendByNotesRoute(route, itemPath);
    case RouteKind::kMapi:
      return SendByMapiRoute(route, itemPath);
    case RouteKind::kUnsupported:
    case RouteKind::kNone:
      break;
  }
  return Outcome::kNotDelivered;
}

}  // namespace

bool SendQueuedItems(ThreadContext* context) {
  Mailbox* mailbox = MailboxOf(context);
  if (mailbox == nullptr || (context->lockingMode & kLockSending) != 0) return false;
  context->sentItems.RemoveAll();
  context->notSentItems.RemoveAll();
  std::vector<uint32_t>& queue = mailbox->Index().outboxQueue;
  for (size_t i = queue.size(); i-- > 0;) {
    const std::optional<uint32_t> position = mailbox->Index().Find(queue[i]);
    if (!position) continue;
    // The sent and not-sent lists hand the entry to the host.
    IndexEntry* entry = &mailbox->Index().HandOut(*position);
    bool dequeued = false;
    for (const std::string& route : entry->outRoutes) {
      switch (SendAlong(route, *mailbox, *entry)) {
        case Outcome::kDelivered:
          context->sentItems.Add(entry);
          if (!dequeued) {
            entry->attributes &= static_cast<uint16_t>(~kItemNotSent);
            mailbox->Outbox().Gone(queue[i]);
            queue.erase(queue.begin() + static_cast<std::ptrdiff_t>(i));
            dequeued = true;
          }
          break;
        case Outcome::kNotDelivered:
          context->notSentItems.Add(entry);
          break;
        case Outcome::kNothing:
          break;
      }
    }
  }
  // A failed save leaves the run's changes to the save at closing.
  if (!mailbox->SaveIndex()) mailbox->SetDirty(true);
  return true;
}

void ChangeOutRoutes(ThreadContext* context, const char* newRoute, const char* oldRoute) {
  Mailbox* mailbox = MailboxOf(context);
  if (mailbox == nullptr || newRoute == nullptr) return;
  for (const uint32_t id : mailbox->Index().outboxQueue) {
    IndexEntry* entry = mailbox->EntryOf(id);
    if (entry == nullptr) continue;
    std::vector<std::string>& routes = entry->outRoutes;
    if (oldRoute == nullptr) {
      routes.assign(1, newRoute);
    } else {
      const auto found = std::find(routes.begin(), routes.end(), oldRoute);
      if (found == routes.end()) continue;
      *found = newRoute;
    }
    mailbox->SetDirty(true);
    mailbox->Outbox().Queued(id, *entry);
  }
}

void ForgetEntriesGone(ThreadContext* context) {
  if (context == nullptr) return;
  std::unordered_set<const IndexEntry*> listed;
  if (Mailbox* mailbox = MailboxOf(context)) {
    const MailboxIndex& index = mailbox->Index();
    for (uint32_t i = 0; i < index.Count(); ++i) listed.insert(&index.EntryAt(i));
  }
  for (IndexEntryArray* list : {&context->sentItems, &context->notSentItems}) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < list->Size(); ++i) {
      if (listed.count((*list)[i]) != 0) (*list)[kept++] = (*list)[i];
    }
    list->SetSize(kept);
  }
}

IndexEntryArray* SentItemsOf(ThreadContext* context) {
  return MailboxOf(context) == nullptr ? nullptr : &context->sentItems;
}

IndexEntryArray* NotSentItemsOf(ThreadContext* context) {
  return MailboxOf(context) == nullptr ? nullptr : &context->notSentItems;
}

}  // namespace quorvel
