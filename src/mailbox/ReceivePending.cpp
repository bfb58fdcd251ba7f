// Placeholder of the receive run until the inbound side is merged: it checks
// what the run checks and fetches nothing. Delete this file when the real
// ReceiveMails(ThreadContext*) arrives.
#include "mailbox/Mailbox.h"
#include "mailbox/MailboxContext.h"
#include "mailbox/ReceiveOperation.h"

namespace quorvel {

bool ReceiveMails(ThreadContext* context) {
  return MailboxOf(context) != nullptr && (context->lockingMode & kLockReceiving) == 0;
}

}  // namespace quorvel
