// Sending the queued items of the open mailbox along their outbound routes,
// and rewriting the routes of the items still queued.
#pragma once

#include "frame/ThreadContext.h"

namespace quorvel {

class Mailbox;

// One run over the outbox queue, last queued item first: every route of an
// item is tried, each recorded in the context's sent or not-sent list (a
// kind-1 route whose item file cannot be attached, and a kind-5 route
// without MAPI, record nothing). An item that one route delivered leaves the
// queue and loses its not-sent bit. The index is saved in every case. False,
// changing nothing, without a context or open mailbox, or with sending locked.
// When the save fails, closing the mailbox saves again.
bool SendQueuedItems(ThreadContext* context);

// For every queued item: the first route equal to `oldRoute` becomes
// `newRoute`, or, with a null `oldRoute`, `newRoute` becomes the only route.
// Not saved; the next save of the index writes it, at the latest the one
// at closing.
void ChangeOutRoutes(ThreadContext* context, const char* newRoute, const char* oldRoute);

// The context's lists of the last run, when it has an open mailbox.
IndexEntryArray* SentItemsOf(ThreadContext* context);
IndexEntryArray* NotSentItemsOf(ThreadContext* context);

// Takes out of the context's sent and not-sent lists every entry that the
// open mailbox no longer lists (all of them when none is open), so that the
// host never finds an entry that was removed or closed with its mailbox.
void ForgetEntriesGone(ThreadContext* context);

}  // namespace quorvel
