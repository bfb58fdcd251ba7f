// Removing items from the open mailbox: an item goes with its whole subtree
// (its replies and theirs), leaves the outbox queue, and its files are deleted.
//
// The order keeps a mailbox consistent wherever a crash stops it: the index is
// saved without the items first, and only then are their files deleted. The
// saved index therefore never names a deleted file; the worst a crash (or a
// failed save, or a file that cannot be deleted) leaves behind is an item file
// that no index lists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame/ThreadContext.h"

namespace quorvel {

class Mailbox;

// Takes the item `id` and its subtree out of the index and the outbox queue
// (with every queued id the index no longer lists) and sets the mailbox
// dirty. Does not save and deletes nothing: the paths of the removed items'
// files are appended to `filesToDelete`, to be deleted once the index is
// saved. Fails when the mailbox is closed or read-only, or the id is unknown.
bool RemoveItem(Mailbox& mailbox, uint32_t id, std::vector<std::string>& filesToDelete);

// The indexes a list text names, in descending order, each once. Spaces are
// dropped and the text is split at ","; a piece counts when it is an optional
// sign followed by decimal digits and nothing else. Empty pieces and repeats
// are ignored; `allRead` turns false when some other piece was ignored.
// Negative or too large numbers stay in the list (as indexes of no item).
std::vector<int64_t> IndexesOfList(std::string_view list, bool& allRead);

// The item at `index` with its subtree; the index is saved whatever the
// outcome. False without a context, mailbox or item there, or when the index
// could not be saved (the items' files then stay).
bool RemoveMailAtIndex(ThreadContext* context, uint32_t index);
// Every item the list names, highest index first so that no index still to
// be handled moves; one save. True when every named item was removed and
// every piece of the list was read.
bool RemoveMailsAtIndexes(ThreadContext* context, std::string_view list);

}  // namespace quorvel
