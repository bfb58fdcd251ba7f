// quorvel mailbox BASE USER: opens the mailbox as a host does, through the
// exported functions (which also recover a damaged index), then lists it as a
// tree of threads. The item queries are not exported yet, so the listing
// reads the index file once the host has let the mailbox go.
#include <cstdio>
#include <iostream>

#include "Commands.h"
#include "exchange/DumpText.h"
#include "frame/WholeFile.h"
#include "mailbox/EntryText.h"
#include "mailbox/IndexFormat.h"
#include "platform/Paths.h"
#include "quorvel/quorvel.h"

namespace quorvel::tool {

namespace {

// One line per item, indented by its depth.
void PrintItem(uint32_t position, uint32_t id, const IndexEntry& entry) {
  std::printf("%5u  %*s#%u %s [%s] %s %s %s\n", position, 2 * entry.depth, "", id,
              MessageTypeName(entry.messageType).c_str(), AttributeWords(entry.attributes).c_str(),
              entry.date == 0 ? "-" : exchange::Date(entry.date).c_str(),
              exchange::Quoted(entry.correspondent.text.View()).c_str(), entry.fileName.c_str());
}

}  // namespace

int RunMailbox(const Arguments& arguments) {
  if (arguments.size() > 2 && IsMailboxItemCommand(arguments[2])) return RunMailboxItem(arguments);
  if (arguments.size() != 2) {
    return UsageError(kMailboxCommand, "expects BASE and USER");
  }
  MTAddNew(nullptr);
  const bool opened = TessalyOpenMailBox(arguments[0].c_str(), arguments[1].c_str());
  MTRemove();  // closes the mailbox, saving a recovered index
  if (!opened) {
    std::cerr << "quorvel: the mailbox " << arguments[1] << " in " << arguments[0]
              << " cannot be opened (is another program using it?)\n";
    return 1;
  }
  std::string base = arguments[0];
  if (!base.empty() && base.back() != platform::kPathSeparator) base += platform::kPathSeparator;
  const std::string path = base + arguments[1] + platform::kPathSeparator + "mailbox" +
                           platform::kPathSeparator + "Mailbox.inv";
  MailboxIndex index;
  try {
    const std::optional<std::string> image = ReadWholeFile(path);
    if (!image) throw exchange::ArchiveError("cannot be read");
    DecodeIndexImage(*image, index);
  } catch (const exchange::ArchiveError& error) {
    std::cerr << "quorvel: " << path << ": " << error.what() << "\n";
    return 1;
  }
  std::printf("%s: %u items, %zu waiting to be sent\n", path.c_str(), index.Count(),
              index.outboxQueue.size());
  for (uint32_t i = 0; i < index.Count(); ++i) PrintItem(i, index.IdAt(i), index.EntryAt(i));
  return 0;
}

}  // namespace quorvel::tool
