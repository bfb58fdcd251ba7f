// The receive run of the exchange layer as the background exchange
// operations queue it: one pass over every inbound source registered for the
// context, filing what arrives into its open mailbox and saving the index.
// False, fetching nothing, without a context or open mailbox, or with
// receiving locked.
#pragma once

#include "frame/ThreadContext.h"

namespace quorvel {

bool ReceiveMails(ThreadContext* context);

}  // namespace quorvel
