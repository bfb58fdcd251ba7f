// quorvel mailbox BASE USER: opens the mailbox as a host does, through the
// exported functions (which also recover a damaged index), and lists it as a
// tree of threads through the exported item queries.
#include <cstdio>
#include <iostream>

#include "Commands.h"
#include "ItemOptions.h"
#include "MailboxView.h"
#include "platform/Paths.h"

namespace quorvel::tool {

int RunMailbox(const Arguments& arguments) {
  if (arguments.size() > 2 && IsMailboxItemCommand(arguments[2])) return RunMailboxItem(arguments);
  if (arguments.size() != 2) {
    return UsageError(kMailboxCommand, "expects BASE and USER");
  }
  OpenMailbox mailbox(arguments[0], arguments[1]);
  if (!mailbox.IsOpen()) {
    std::cerr << "quorvel: the mailbox " << arguments[1] << " in " << arguments[0]
              << " cannot be opened (is another program using it?)\n";
    return 1;
  }
  std::string base = arguments[0];
  if (!base.empty() && base.back() != platform::kPathSeparator) base += platform::kPathSeparator;
  const std::string path = base + arguments[1] + platform::kPathSeparator + "mailbox" +
                           platform::kPathSeparator + "Mailbox.inv";
  PrintMailboxTree(path, stdout);
  return 0;
}

}  // namespace quorvel::tool
