// Test helper: opens the mailbox in the directory given as argument, says
// "open", then takes one step of IndexSteps.h after the other, saving the
// index after each and then saying the step's number, until it is killed.
#include <cstdio>

#include "../mailbox/IndexSteps.h"
#include "mailbox/Mailbox.h"

int main(int argc, char** argv) {
  using namespace quorvel;
  if (argc != 2) return 2;
  Mailbox mailbox;
  if (!mailbox.OpenIndex(argv[1], false, 1, 0) || mailbox.Index().Count() < 2) return 1;
  std::printf("open\n");
  std::fflush(stdout);
  for (;;) {
    testing::TakeStep(mailbox.Index());
    if (!mailbox.SaveIndex()) return 1;
    std::printf("%u\n", mailbox.Index().EntryAt(0).writtenTime);
    std::fflush(stdout);
  }
}
