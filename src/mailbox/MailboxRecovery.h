// Recovery of an index from the item files in its mailbox directory: a whole
// rebuild when no index image reads, and the adoption of item files that a
// readable index does not list (an item filed by a run that ended before it
// saved, or a name that damage changed).
//
// An item file gives back its kind, correspondent, flags, attachment and
// learning-data bits and its stamp (id, parent, time). It cannot give back
// the unread bit, the not-sent bit and routes, the names supplied when it was
// filed, nor the local id of an item received from elsewhere (its stamp holds
// the sender's id).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "mailbox/ItemIndex.h"

namespace quorvel {

// Replaces `index` with the items of `directory`, threaded under the parents
// their stamps name. Files that do not read as items stay where they are and
// are counted in the log. Answers the nextId: above every id seen and not
// below `nextIdFloor`. The files of removed items (`removed`) are passed over.
uint32_t RebuildIndex(const std::string& directory, uint32_t nextIdFloor, MailboxIndex& index,
                      const std::unordered_set<std::string>& removed = {});

// Files every item file of `directory` that `index` does not list, under the
// parent its stamp names when listed. An item keeps its stamp's id when that
// is not below `nextId`, else takes `nextId`; `nextId` then passes it. Answers
// how many were filed; `adopted` (when given) receives their ids. The files
// of removed items (`removed`) are passed over.
uint32_t AdoptUnlistedItems(const std::string& directory, MailboxIndex& index, uint32_t& nextId,
                            const std::unordered_set<std::string>& removed = {},
                            std::unordered_set<uint32_t>* adopted = nullptr);

// What a damaged index image still tells of the items a rebuild found, when
// it reads as a whole (only its ids or tree were wrong, or its seal failed):
// an item under the same file name keeps its attribute word, names and
// routes, and stays queued for sending. Answers the rebuilt ids so kept.
std::unordered_set<uint32_t> KeepStatesOfDamagedIndex(const std::string& damaged, MailboxIndex& rebuilt);

// Copies the bytes of a damaged index into a new file "Mailbox-damaged-" n
// ".inv" beside it, so that nothing of it is lost.
void KeepDamagedIndex(const std::string& directory, const std::string& bytes);

// The nextId of an image whose head still reads, else 1.
uint32_t ReadableNextId(const std::string& image);

}  // namespace quorvel
