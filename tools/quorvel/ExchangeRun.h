// One exchange run of the calling thread's open mailbox, as a host makes
// it: receive from the registered sources, then send the outbox, in the
// foreground or through the threaded exports (waiting for the completion
// callback), and what came of it. Shared by quorvel exchange and the demo.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "quorvel/quorvel.h"

namespace quorvel::tool {

struct ExchangeReport {
  bool succeeded = false;  // every operation ran (none refused or locked)
  std::vector<const IndexEntry*> received;  // new items, in display order
  std::vector<const IndexEntry*> sent;      // one per route that delivered
  std::vector<const IndexEntry*> notSent;   // one per route that did not
};

struct ExchangeRequest {
  bool receive = false;
  bool send = false;
  // Through TessalyThreaded...: the calling thread waits for the
  // completion callback; `progress` (when not null) receives a line per
  // event the worker reports.
  bool background = false;
  FILE* progress = nullptr;
};

ExchangeReport RunExchange(const ExchangeRequest& request);

// "pupil mail #3 ~AT2.qv6 "Léa"": an item of the open mailbox in words.
std::string DescribeItem(const IndexEntry* entry);

// "received 1: ...", "sent ...", "not sent ..." lines, each list's items
// after it.
void PrintExchangeReport(const ExchangeRequest& request, const ExchangeReport& report, FILE* out);

}  // namespace quorvel::tool
