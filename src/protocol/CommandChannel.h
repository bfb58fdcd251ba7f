// The command/reply engine under the SMTP and POP3 clients: a TimeoutSocket
// with the connect and receive time-out, commands sent whole, and replies
// read in receives of at most 1024 bytes. Every blocking step runs under the
// time-out: the connect, each send, and each reply as a whole. The clients
// add their own dialogue, reply checks, error identifiers and events on top.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "frame/TransportSecurity.h"
#include "platform/Sockets.h"

namespace quorvel {

inline constexpr uint32_t kDefaultTimeoutMs = 90000;
inline constexpr int kReplyBufferSize = 1024;

class CommandChannel {
 public:
  enum class Received { Bytes, Closed, Failed };
  // Whether the bytes gathered so far make a whole reply.
  using Completion = bool (*)(std::string_view reply);

  // A stand-in for the network connection (tests and fuzz targets).
  void UseSocket(std::unique_ptr<platform::TimeoutSocket> socket) { socket_ = std::move(socket); }
  // A fresh stream socket; false when the system refuses one.
  bool CreateSocket();
  // The system's receive time-out option set to `timeoutMs`.
  bool SetReceiveTimeoutOption();
  // Connects under the time-out, then turns off the collecting of small
  // writes (the end-of-data line would otherwise wait for the peer's ACK).
  bool Connect(const std::string& host, uint16_t port);
  // Sends all of `text` under the time-out; false on an error, a short send,
  // the time-out or a cancel. With `moreFollows` the bytes may wait for the
  // next send (message data).
  bool Send(std::string_view text, bool moreFollows = false);
  // A first receive, then more while `complete` says the reply is partial,
  // all under one time-out. Failed when the reply is not whole by then (or
  // on an error or a cancel); a server that closes after part of a reply, or
  // a reply that reaches the length bound, leaves what came.
  Received ReadReply(std::string& reply, Completion complete);
  // One receive of at most `most` bytes under the time-out, appended to
  // `text` in place (message data, which may be large).
  Received ReceiveMore(std::string& text, size_t most) { return ReceiveMore(text, most, timeoutMs); }
  // The same under a time-out of its own.
  Received ReceiveMore(std::string& text, size_t most, uint32_t withinMs);
  // The steps before a client's greeting, the same for SMTP and POP3: a
  // fresh socket with the receive time-out option, the connect and, with
  // `implicitTls`, the handshake. `optionRefused` is called when the system
  // refuses the option (the connection goes on), `connecting` just before
  // the connect. Answers 0, or the failed step's error from `errors` (the
  // client closes the socket then).
  struct OpenErrors {
    uint32_t socket, connect, tls;
  };
  uint32_t Open(const std::string& host, uint16_t port, bool implicitTls,
                const TransportSecurity& security, const OpenErrors& errors,
                const std::function<void()>& optionRefused,
                const std::function<void()>& connecting);

  void Close() { socket_->Close(); }
  bool IsOpen() const { return socket_->IsOpen(); }
  // Secures the connection to `host` with TLS under the time-out, trusting
  // as `security` says. A certificate accepted without verification is
  // logged; so is a failure, whose reason stays in tlsFailure (the socket is
  // closed then).
  bool StartTls(const std::string& host, const TransportSecurity& security);
  bool IsSecure() const { return socket_->IsSecure(); }
  const std::string& tlsFailure() const { return tlsFailure_; }

  uint32_t timeoutMs = kDefaultTimeoutMs;

 private:
  // One receive, appended to `reply`.
  Received ReceiveOnce(std::string& reply);

  std::unique_ptr<platform::TimeoutSocket> socket_ = std::make_unique<platform::TimeoutSocket>();
  char replyBuffer_[kReplyBufferSize];
  std::string tlsFailure_;
};

// An SMTP reply is whole when its last line has ended and is not followed by
// a continuation ("250-" lines precede the final "250 " line).
bool SmtpReplyIsComplete(std::string_view reply);
// A reply of one line is whole when the line has ended.
bool LineIsComplete(std::string_view reply);
// A one-line reply has come once its line end has: the bytes that came with
// it (the data that follows RETR's status) are the caller's, not more reply.
bool FirstLineIsComplete(std::string_view reply);

}  // namespace quorvel
