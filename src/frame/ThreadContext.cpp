// Construction and destruction of a context. Destruction closes the open
// mailbox first (its destructor does), then frees the inbound records.
#include "frame/ThreadContext.h"

#include "platform/Threads.h"

namespace quorvel {

namespace {
std::atomic<int> liveContexts{0};
}

ThreadContext::ThreadContext() { liveContexts.fetch_add(1); }

ThreadContext::~ThreadContext() {
  mailboxItems = nullptr;
  mailbox.reset();
  liveContexts.fetch_sub(1);
}

int ThreadContext::LiveCount() { return liveContexts.load(); }

}  // namespace quorvel
