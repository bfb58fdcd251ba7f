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

#include "mailbox/ItemIndex.h"

namespace quorvel {

// Replaces `index` with the items of `directory`, threaded under the parents
// their stamps name. Files that do not read as items stay where they are and
// are counted in the log. Answers the nextId: above every id seen and not
// below `nextIdFloor`.
uint32_t RebuildIndex(const std::string& directory, uint32_t nextIdFloor, MailboxIndex& index);

// Files every item file of `directory` that `index` does not list, under the
// parent its stamp names when listed. An item keeps its stamp's id when that
// is not below `nextId`, else takes `nextId`; `nextId` then passes it. Answers
// how many were filed.
uint32_t AdoptUnlistedItems(const std::string& directory, MailboxIndex& index, uint32_t& nextId);

// Copies the bytes of a damaged index into a new file "Mailbox-damaged-" n
// ".inv" beside it, so that nothing of it is lost.
void KeepDamagedIndex(const std::string& directory, const std::string& bytes);

// The nextId of an image whose head still reads, else 1.
uint32_t ReadableNextId(const std::string& image);

}  // namespace quorvel
