// Test helper: opens the mailbox in the directory given as argument, says
// "open", then saves the two index variants in turn until it is killed.
#include <cstdio>

#include "../mailbox/IndexVariants.h"
#include "mailbox/Mailbox.h"

int main(int argc, char** argv) {
  using namespace quorvel;
  if (argc != 2) return 2;
  Mailbox mailbox;
  if (!mailbox.OpenIndex(argv[1], false, 1, 0)) return 1;
  std::printf("open\n");
  std::fflush(stdout);
  for (int variant = 1;; variant = 1 - variant) {
    testing::FillVariant(mailbox.Index(), variant);
    if (!mailbox.SaveIndex()) return 1;
  }
}
