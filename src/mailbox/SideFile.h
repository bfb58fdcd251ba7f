// The mailbox's side files ("Mailbox.keys", "Mailbox.outbox") are appended
// to while the mailbox is open and written anew, whole, when they are
// compacted.
#pragma once

#include <string>

#include "platform/File.h"

namespace quorvel {

// Writes `bytes` as the whole of the side file `path` (through a synced new
// file put in its place) and opens it for appending into `appendTo`.
// Answers false, leaving `appendTo` and the old file as they were, when the
// new file cannot be put in place.
bool RewriteSideFile(const std::string& path, const std::string& bytes, platform::File& appendTo);

}  // namespace quorvel
