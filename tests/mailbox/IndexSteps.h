// Small changes of a large index, one per save, made by a helper until it is
// killed and again by the test. Entry 0's writtenTime counts the steps.
#pragma once

#include <algorithm>
#include <memory>
#include <string>

#include "mailbox/ItemIndex.h"

namespace quorvel::testing {

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
