// The thread-tree view of a mailbox that `quorvel mailbox` prints and the
// demo prints at its end. It reads the calling thread's open mailbox through
// the exported item queries only, as any host can.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "quorvel/quorvel.h"

namespace quorvel::tool {

// The entries of the open mailbox in display order (empty without one).
std::vector<const IndexEntry*> MailboxEntries();

// The id of each of `entries`, 0 where none was found. Hosts learn ids only
// by asking for them, so the ids are probed from 1 upward until every entry
// has its own (a gap of more than 65536 unused ids ends the search).
std::vector<uint32_t> MailboxIds(const std::vector<const IndexEntry*>& entries);

// "TITLE: N items, M waiting to be sent", then one line per item indented by
// its depth: position, id, kind, attributes in words, date, correspondent
// and file name.
void PrintMailboxTree(const std::string& title, FILE* out);

}  // namespace quorvel::tool
