// Scripts of a well-behaved SMTP server for ScriptedServer: one mail per transaction until
// QUIT. A misbehaving server is written by its test, which hands over to these.
#pragma once

#include <string_view>

#include "ScriptedServer.h"

namespace quorvel::testing {

// After the greeting and HELO.
inline void ServeSmtpTransactions(ServerSide& side) {
  for (;;) {
    if (!side.ReadLine()) return;  // MAIL FROM or QUIT
    if (side.received.ends_with("QUIT\r\n")) {
      side.Send("221 bye\r\n");
      side.WaitForClose();
      return;
    }
    side.Send("250 sender ok\r\n");
    side.ReadLine();
    side.Send("250 recipient ok\r\n");
    side.ReadLine();
    side.Send("354 go ahead\r\n");
    side.ReadUntil("\r\n.\r\n");
    side.Send("250 queued\r\n");
  }
}

// Greeting, HELO and MAIL FROM accepted.
inline void AcceptUpToRecipient(ServerSide& side) {
  side.Send("220 ready\r\n");
  side.ReadLine();
  side.Send("250 hello\r\n");
  side.ReadLine();
  side.Send("250 sender ok\r\n");
  side.ReadLine();
}

// Greeting, HELO, MAIL FROM and RCPT TO accepted; reads the DATA command
// and leaves the answer to the caller.
inline void AcceptUpToData(ServerSide& side) {
  AcceptUpToRecipient(side);
  side.Send("250 recipient ok\r\n");
  side.ReadLine();
}

// RCPT TO answered with `reply` and the QUIT that follows with `quitReply`.
inline void RefuseTheRecipient(ServerSide& side, std::string_view reply,
                               std::string_view quitReply = "221 bye\r\n") {
  AcceptUpToRecipient(side);
  side.Send(reply);
  side.ReadLine();
  side.Send(quitReply);
  side.WaitForClose();
}

inline void ServeSmtpSession(ServerSide& side) {
  side.Send("220 test ready\r\n");
  if (!side.ReadLine()) return;  // HELO
  side.Send("250 hello\r\n");
  ServeSmtpTransactions(side);
}

}  // namespace quorvel::testing
