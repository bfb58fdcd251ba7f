// The host's questions about the items of its open mailbox: the entry at an
// index or of an id, where an item sits in its thread, its attribute word,
// date, record kind and text. Each answers its none value (null, -1, -2 for
// "no parent", 255, 0, false or the empty text) when there is no context, no
// open mailbox, or no item at the index or of the id.
#pragma once

#include <cstdint>

#include "frame/ThreadContext.h"
#include "quorvel/IndexEntry.h"
#include "quorvel/WideString.h"

namespace quorvel {

// Parent answers for a thread root.
inline constexpr int32_t kNoParentItem = -2;

IndexEntry* ItemAtIndex(ThreadContext* context, uint32_t index);
IndexEntry* ItemAtId(ThreadContext* context, uint32_t id);
int32_t SourceIdOf(ThreadContext* context, uint32_t id);
int32_t ParentIdOf(ThreadContext* context, uint32_t id);
int32_t ParentIndexOf(ThreadContext* context, uint32_t id);
int16_t AttributesAt(ThreadContext* context, uint32_t index);
// Sets, then clears bits (clearing wins) in memory; the next save of the
// index writes the change, at the latest the one when the mailbox closes.
bool ChangeAttributesAt(ThreadContext* context, uint32_t index, uint16_t set, int32_t clear);
uint32_t DateAt(ThreadContext* context, uint32_t index);
// The record kind stored in the item's file (not the entry's copy of it).
int32_t MessageTypeAt(ThreadContext* context, uint32_t index);
// The item's text by its kind (a plain text turned into markup), after which
// the item counts as read and the index is saved. An item whose file cannot
// be read answers the empty text and stays as it was.
WideString MessageTextAt(ThreadContext* context, uint32_t index);

}  // namespace quorvel
