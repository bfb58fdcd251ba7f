// Two contents of one large index, told apart after a failed or killed save.
#pragma once

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
    entry->outRoutes = {(variant == 0 ? "smtp|a@b|" : "file|/shared/directory/") + std::to_string(i)};
    index.Insert(i, i + 1, std::move(entry));
  }
  index.outboxQueue = {variant == 0 ? 1u : 2u, 3u};
}

// The index content without the head's nextId and save time.
inline std::string ContentOf(const MailboxIndex& index) { return EncodeIndexImage(0, 0, index); }

}  // namespace quorvel::testing
