// Two contents of one large index, told apart after a failed or killed save,
// and small changes of it, one per save (entry 0's writtenTime counts them).
#pragma once

#include <algorithm>
#include <memory>
#include <string>

#include "mailbox/IndexFormat.h"
#include "mailbox/ItemIndex.h"

namespace quorvel::testing {

inline constexpr uint32_t kVariantEntries = 3000;

// The variants differ in entry count, routes and outbox: in length and all along.
inline void FillVariant(MailboxIndex& index, int variant) {
  index.Reset();
  index.outboxQueue.clear();
  const uint32_t count = kVariantEntries + (variant == 0 ? 0 : 57);
  for (uint32_t i = 0; i < count; ++i) {
    auto entry = std::make_unique<IndexEntry>();
    entry->fileName = "~AT" + std::to_string(i) + ".qv6";
    entry->depth = static_cast<uint8_t>(i % 5);
    const char* route = variant == 0 ? "smtp|a@b|" : "file|/shared/directory/";
    entry->outRoutes = {route + std::to_string(i)};
    index.Insert(i, i + 1, std::move(entry));
  }
  index.outboxQueue = {variant == 0 ? 1u : 2u, 3u};
}

// The index content without the head's nextId and save time.
inline std::string ContentOf(const MailboxIndex& index) { return EncodeIndexImage(0, 0, index); }

// Files a reply somewhere, marks another entry, and on some steps removes an
// entry or takes the head of the outbox queue.
inline void TakeStep(MailboxIndex& index) {
  const uint32_t step = ++index.EntryAt(0).writtenTime;
  const uint32_t id = 1000000 + step;
  const uint32_t parent = 1 + (step * 7919) % (index.Count() - 1);
  auto entry = std::make_unique<IndexEntry>();
  entry->fileName = "~AT" + std::to_string(id) + ".qv6";
  entry->depth = static_cast<uint8_t>(std::min(index.EntryAt(parent).depth + 1, 255));
  index.Insert(index.SubtreeEnd(parent), id, std::move(entry));
  index.EntryAt(1 + (step * 31) % (index.Count() - 1)).attributes = static_cast<uint16_t>(step);
  if (step % 5 == 0) index.RemoveAt(1 + (step * 131) % (index.Count() - 1));
  index.outboxQueue.push_back(id);
  if (step % 3 == 0) index.outboxQueue.erase(index.outboxQueue.begin());
}

}  // namespace quorvel::testing
