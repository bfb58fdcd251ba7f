// Test helper: Receiver MAILBOX_DIR SHARED_DIR|- POP_PORT|0 opens the mailbox, says "open", runs
// one receive from the shared directory and the maildrop on 127.0.0.1, writing a line per
// event and "done" at its end. The crash tests kill it anywhere in between.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "frame/ThreadContext.h"
#include "mailbox/InboundProtocols.h"
#include "mailbox/Mailbox.h"
#include "mailbox/Receiving.h"

int main(int argc, char** argv) {
  using namespace quorvel;
  if (argc != 4) return 2;
  ThreadContext context;
  auto mailbox = std::make_unique<Mailbox>();
  if (!mailbox->OpenIndex(argv[1], false, 1, 0)) return 1;
  context.mailbox = std::move(mailbox);
  if (std::string(argv[2]) != "-") AddFileInProtocol(&context, argv[2]);
  const auto port = static_cast<uint16_t>(std::atoi(argv[3]));
  if (port != 0) AddPopInProtocol(&context, "127.0.0.1", port, "pupil", "secret");
  context.progressCallback = [](uint32_t event, uint32_t argument) {
    std::printf("event %u %u\n", event, argument);
    std::fflush(stdout);
  };
  std::printf("open\n");
  std::fflush(stdout);
  if (!ReceiveMails(&context)) return 1;
  std::printf("done\n");
  std::fflush(stdout);
  return 0;
}
