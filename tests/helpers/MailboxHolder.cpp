// Test helper, a host: MailboxHolder BASE USER [read] opens the mailbox through the exports
// (with "read" writes a mail and reads its text, keeping working copies), says "open" or
// "refused", and holds it until its input ends.
#include <cstdio>
#include <string>

#include "HostWrites.h"
#include "quorvel/quorvel.h"

int main(int argc, char** argv) {
  if (argc != 3 && !(argc == 4 && std::string(argv[3]) == "read")) return 2;
  MTAddNew(nullptr);
  bool opened = TessalyOpenMailBox(argv[1], argv[2]);
  if (opened && argc == 4) {
    opened = quorvel::testing::HostWritesMail(99) &&
             TessalyGetItemMessageText(0).Owned().View() == u"text";
  }
  std::printf(opened ? "open\n" : "refused\n");
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  MTRemove();
  return opened ? 0 : 1;
}
