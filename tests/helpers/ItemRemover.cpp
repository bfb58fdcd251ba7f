// Test helper: opens the mailbox in the directory given as first argument,
// says "open", then keeps the mailbox at the number of items given as third
// argument, removing the item at index 0 whenever it has that many and
// filing the item file given as second argument as a new thread whenever it
// has fewer (each step saving the index), until it is killed.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "frame/ThreadContext.h"
#include "mailbox/ItemRemoval.h"
#include "mailbox/Mailbox.h"

int main(int argc, char** argv) {
  using namespace quorvel;
  if (argc != 4) return 2;
  const uint32_t items = static_cast<uint32_t>(std::atoi(argv[3]));
  ThreadContext context;
  auto owned = std::make_unique<Mailbox>();
  Mailbox& mailbox = *owned;
  context.mailbox = std::move(owned);
  if (!mailbox.OpenIndex(argv[1], false, 1, 0)) return 1;
  std::printf("open\n");
  std::fflush(stdout);
  for (;;) {
    if (mailbox.Index().Count() >= items) {
      if (!RemoveMailAtIndex(&context, 0)) return 1;
    } else if (mailbox.FileNewMail(argv[2], {"3|/nowhere"}, CodedTextArray()) == kNoItem ||
               !mailbox.SaveIndex()) {
      return 1;
    }
  }
}
