// Receiving: one pass over the inbound sources of a context (its shared
// directories, then its POP accounts, in registration order) that files every
// exchange file found into the context's open mailbox, and every fetched mail
// without one as a plain item.
//
// Nothing is taken from a source before the index that lists what came from
// it is saved: a run killed at any instant leaves every item at its source,
// in the saved index, or both (the next run then files it a second time). A
// file or message whose filing failed stays at its source; the run leaves no
// temporary file behind.
#pragma once

#include "frame/ThreadContext.h"

namespace quorvel {

// False without a context, without an open mailbox, or while receiving is
// locked (bit 0x2 of the locking mode); true once the pass took place,
// whatever the sources held.
bool ReceiveMails(ThreadContext* context);

}  // namespace quorvel
