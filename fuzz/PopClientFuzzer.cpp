// The POP3 client through a whole receive dialogue (greeting, login, STAT,
// LIST and RETR of two messages, DELE, QUIT) against a server stream from
// the input; the first byte chooses the size of the pieces it arrives in.
#include <memory>
#include <string>

#include "FuzzScratch.h"
#include "ScriptedSocket.h"
#include "protocol/PopClient.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t pieceSize = data[0] % 64 + 1;
  std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  PopClient client(nullptr);
  client.UseSocket(std::make_unique<fuzz::ScriptedSocket>(std::move(stream), pieceSize));
  if (client.Connect("server.test", 110, "user", "password")) {
    uint16_t count = 0;
    client.GetMessageCount(count);
    std::string text;
    for (uint32_t number = 1; number <= 2; ++number) {
      if (client.Retrieve(number, text)) client.Delete(number);
      fuzz::Require(text.size() <= size, "the text is never longer than what came");
    }
    client.Quit();
  }
  fuzz::Require(client.lastError() <= kPopReceiveFailed, "a known error code");
  return 0;
}
