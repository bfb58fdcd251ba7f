// Test helper, a host of its own: opens the mailbox BASE USER through the
// exported functions, says "open" or "refused", and holds it until its input
// ends.
#include <cstdio>

#include "quorvel/quorvel.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  MTAddNew(nullptr);
  const bool opened = TessalyOpenMailBox(argv[1], argv[2]);
  std::printf(opened ? "open\n" : "refused\n");
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  MTRemove();
  return opened ? 0 : 1;
}
