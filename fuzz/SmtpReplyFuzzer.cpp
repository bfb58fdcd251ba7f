// The SMTP client's reply reader driven through a whole dialogue (greeting,
// HELO, two transactions, QUIT) by a server stream from the input; the first
// byte chooses the size of the pieces the stream arrives in.
#include <memory>
#include <string>

#include "FuzzScratch.h"
#include "ScriptedSocket.h"
#include "protocol/SmtpClient.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t pieceSize = data[0] % 64 + 1;
  std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  SmtpClient client(nullptr, nullptr, nullptr);
  client.UseSocket(std::make_unique<fuzz::ScriptedSocket>(std::move(stream), pieceSize));
  if (client.Connect("server.test", 25)) {
    client.SendMailData("pupil@example.test", "tutor@example.test", "Subject: a\r\n\r\n.\r\n");
    client.SendMailData("pupil@example.test", "copy@example.test", "x");
    client.Disconnect();
  }
  fuzz::Require(client.lastReply().size() <= 64 * 1024 + 1024, "a reply stays within its bound");
  fuzz::Require(client.lastErrorId() <= kSmtpNoMemory, "a known error identifier");
  return 0;
}
