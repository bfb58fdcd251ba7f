// Test helper: opens the mailbox in the directory given as first argument,
// registers the shared directory (second argument, "-" for none) and the POP
// maildrop on 127.0.0.1 (third argument, the port, 0 for none), says "open"
// and runs one receive, writing a line for each POP event on the way and
// "done" at its end. The crash tests kill it anywhere in between.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "frame/ThreadContext.h"
#include "mailbox/InboundProtocols.h"
#include "mailbox/Mailbox.h"
#include "mailbox/Receiving.h"

namespace {

void WriteEvent(uint32_t event, uint32_t argument) {
  std::printf("event %u %u\n", event, argument);
  std::fflush(stdout);
}

}  // namespace

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
  context.progressCallback = WriteEvent;
  std::printf("open\n");
  std::fflush(stdout);
  if (!ReceiveMails(&context)) return 1;
  std::printf("done\n");
  std::fflush(stdout);
  return 0;
}
