// A well-behaved SMTP server for ScriptedServer: one reply to each command line (the data read
// to its end) until QUIT. A misbehaving server is a dialogue case (Dialogue.h).
#pragma once

#include <string>
#include <string_view>

#include "ScriptedServer.h"

namespace quorvel::testing {

// RCPT TO answered with `recipientReply`, QUIT with `quitReply`.
inline void RefuseTheRecipient(ServerSide& side, std::string_view recipientReply,
                               std::string_view quitReply = "221 bye\r\n") {
  side.Send("220 test ready\r\n");
  for (std::string line; side.NextLine(line);) {
    if (line == "QUIT") {
      side.Send(quitReply);
      side.WaitForClose();
      return;
    }
    side.Send(line.starts_with("RCPT") ? recipientReply : line == "DATA" ? "354 go ahead\r\n"
                                                                          : "250 ok\r\n");
    if (line == "DATA" && side.ReadUntil("\r\n.\r\n")) side.Send("250 queued\r\n");
  }
}

inline void ServeSmtpSession(ServerSide& side) { RefuseTheRecipient(side, "250 recipient ok\r\n"); }

}  // namespace quorvel::testing
