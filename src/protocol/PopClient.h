// PopClient: a minimal POP3 client (USER/PASS login) on the command/reply
// engine of the SMTP client: connect and log in, count the waiting messages,
// fetch one whole, delete it, quit. Every step is reported to the client
// window ("MESSAGES_POP") and then to the progress callback; failures answer
// false with an error code (event 13). While POP connections are forbidden
// it opens none.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "frame/ProgressReporter.h"
#include "frame/ReceiveLimits.h"
#include "frame/TransportSecurity.h"
#include "protocol/CommandChannel.h"

namespace quorvel {

// Events of the "MESSAGES_POP" window message and of the callback.
enum PopEvent : uint32_t {
  kPopConnecting = 1,
  kPopGreeted = 2,
  kPopDisconnecting = 3,
  kPopDisconnected = 4,
  kPopProgress = 11,        // argument: percent of the message received
  kPopAwaitingReply = 12,
  kPopError = 13,           // argument: the error code
  kPopGreetingAccepted = 15,
  kPopUserAccepted = 16,
  kPopSendingPassword = 17,
  kPopLoggedIn = 18,
  kPopCounting = 19,
  kPopCount = 20,           // argument: the message count
  kPopDeleting = 21,
  kPopDeleted = 22,
  kPopRetrievalStart = 25,
  kPopMessageSize = 26,     // argument: the size the server announced
  kPopRetrieving = 27,
  kPopDataArriving = 28,
  kPopMessageComplete = 29,
};

// The client's error codes (lastError).
enum PopErrorCode : uint32_t {
  kPopNoError = 0,
  kPopSocketFailed = 1,
  kPopConnectFailed = 2,
  kPopGreetingRefused = 3,
  kPopUserRefused = 4,
  kPopPasswordRefused = 5,
  kPopStatRefused = 6,
  kPopRetrieveRefused = 7,
  kPopDeleteRefused = 8,
  kPopQuitRefused = 9,
  kPopServerClosed = 10,
  kPopSendFailed = 11,
  kPopReceiveFailed = 12,
  // Transport security (an extension, only with a context's POP security
  // set): TLS could not be set up; STLS refused while TLS is required; the
  // password would go in clear while the host has not allowed that.
  kPopTlsFailed = 13,
  kPopTlsNotOffered = 14,
  kPopClearTextRefused = 15,
  // The message is larger than the context's limit (as listed, or as it
  // arrived): it is not taken and stays on the server.
  kPopMessageTooLarge = 16,
  // OAuth 2 (an extension, only with a context's POP token): the token was
  // refused; the server offers neither OAUTHBEARER nor XOAUTH2.
  kPopTokenRefused = 17,
  kPopNoTokenMechanism = 18,
};

// A short English text for an error code, for logs and the tool (here in
// the header: the tool's host commands use it without the library's core).
inline const char* PopErrorMeaning(uint32_t code) {
  switch (code) {
    case kPopNoError: return "no error";
    case kPopSocketFailed: return "the socket cannot be created or its time-out set";
    case kPopConnectFailed: return "empty host name, or the connection failed";
    case kPopGreetingRefused: return "the server's greeting is not +OK";
    case kPopUserRefused: return "the user name was refused";
    case kPopPasswordRefused: return "the password was refused";
    case kPopStatRefused: return "the server did not list its messages";
    case kPopRetrieveRefused: return "a message could not be retrieved";
    case kPopDeleteRefused: return "a message could not be deleted";
    case kPopQuitRefused: return "the reply to QUIT is not +OK";
    case kPopServerClosed: return "the server closed the connection";
    case kPopSendFailed: return "sending a command failed";
    case kPopReceiveFailed:
      return "receiving failed (error, time-out, cancel, stop, or data slower than the time-out allows)";
    case kPopTlsFailed: return "TLS could not be set up (handshake, certificate or STLS)";
    case kPopTlsNotOffered: return "TLS is required but the server refused STLS";
    case kPopClearTextRefused: return "the password or token would go in clear, which was not allowed";
    case kPopMessageTooLarge: return "the message is larger than the limit; it stays on the server";
    case kPopTokenRefused: return "the OAuth 2 token was refused";
    case kPopNoTokenMechanism: return "the server offers neither OAUTHBEARER nor XOAUTH2";
    default: return "unknown error code";
  }
}

// Message data is received in pieces of this size at most.
inline constexpr size_t kPopDataPieceSize = 64 * 1024;
// During message data, each this many bytes must follow the previous ones
// within the time-out; a slower transfer is abandoned as a timed-out one.
inline constexpr uint64_t kPopLeastBytesPerTimeout = 64 * 1024;

class PopClient {
 public:
  // Events go to `window` (may be null). The transport security and the
  // receive limits (time-out, largest message) are the caller's to give:
  // the receive functions pass their context's.
  explicit PopClient(WindowHandle window, const TransportSecurity& security = {},
                     const ReceiveLimits& limits = {});
  PopClient(const PopClient&) = delete;
  PopClient& operator=(const PopClient&) = delete;
  virtual ~PopClient();

  // Null host, user or password keeps the value stored before. A user or
  // password holding CR, LF or NUL is refused (4 or 5) before it is sent.
  bool Connect(const char* host, uint16_t port, const char* user, const char* password);
  // STAT: the number of waiting messages (modulo 65536).
  bool GetMessageCount(uint16_t& count);
  // LIST then RETR of message `number`: `take` is handed the message as the
  // server stored it (leading dots of the transfer removed, no terminating
  // line) in pieces as they arrive, never more than a piece of data held.
  // A message listed larger than the limit is not asked for (16). Its data
  // ends with failure, and the connection with it, when it outgrows the
  // limit (16), when the server closes (10), or on a time-out, a cancel, a
  // stop request or a transfer slower than kPopLeastBytesPerTimeout per
  // time-out (12); the pieces handed over are then not the whole message.
  using DataTaker = std::function<void(std::string_view)>;
  bool Retrieve(uint32_t number, const DataTaker& take);
  // The same into one text.
  bool Retrieve(uint32_t number, std::string& text);
  bool Delete(uint32_t number);
  bool Quit();

  // False again once a failed send or receive has ended the session.
  bool IsConnected() const { return connected_; }
  uint32_t lastError() const { return lastError_; }
  const std::string& lastReply() const { return reply_; }

  void SetCallback(ProgressCallback callback) { reporter_.callback = callback; }
  void SetTimeout(uint32_t milliseconds) { channel_.timeoutMs = milliseconds; }
  void SetLargestMessage(uint64_t bytes) { largestMessage_ = bytes; }
  // A stop request (a context's stopRequested) looked at before each piece
  // of message data; it is left set for the caller to see.
  void SetStopRequest(const std::atomic<uint8_t>* stop) { stop_ = stop; }
  bool StopRequested() const { return stop_ != nullptr && stop_->load() != 0; }
  void SetSecurity(const TransportSecurity& security) { security_ = security; }
  // Why TLS could not be set up (after error 13).
  const std::string& tlsFailure() const { return channel_.tlsFailure(); }
  // A stand-in for the network connection (tests and fuzz targets).
  void UseSocket(std::unique_ptr<platform::TimeoutSocket> socket) {
    channel_.UseSocket(std::move(socket));
  }

 private:
  // Receives one reply line; "-ERR" records `errorCode`.
  bool ReadReply(uint32_t errorCode);
  // Sends a command; a failed send ends the session (error 11).
  bool SendCommand(const std::string& command);
  // Sends the command and reads its reply (event 12 between).
  bool Command(const std::string& command, uint32_t errorCode);
  bool SetError(uint32_t code);
  bool FailAndClose(uint32_t code);
  bool ReceiveMessageData(uint64_t size, const DataTaker& take);
  // The next piece of message data, within what is left of the time-out of
  // the current kPopLeastBytesPerTimeout bytes; the error code that ends
  // the transfer instead (the limit, a stop request, the time-out, the
  // server's close), or 0.
  uint32_t ReceiveData(std::string& buffer, uint64_t arrived);
  // STLS when the transport security asks for it, and the check that the
  // password never goes in clear unless allowed.
  bool SecureBeforeLogin();
  // The login: USER/PASS in the plain dialogue; with transport security or
  // a token, CAPA first and SASL as its SASL line allows.
  bool LogIn();
  bool LogInWithPassword();
  bool LogInWithToken(const std::string& mechanisms);
  // The SASL line of the server's capabilities (upper case); empty when it
  // has none or does not know CAPA; false when the dialogue broke.
  bool AskMechanisms(std::string& mechanisms);
  // One AUTH exchange (RFC 5034); true when logged in. A refusal records
  // no error (unlike a failed send or receive).
  bool SaslLogin(std::string_view mechanism, const std::string& response,
                 std::string_view refusalAnswer);

  std::string host_;
  uint16_t port_ = 110;
  std::string user_;
  std::string password_;
  bool connected_ = false;
  CommandChannel channel_;
  std::string reply_;
  uint32_t lastError_ = kPopNoError;
  ProgressReporter reporter_;
  TransportSecurity security_;
  uint64_t largestMessage_;
  const std::atomic<uint8_t>* stop_ = nullptr;
  // The data transfer's current stretch: when it began and the bytes since.
  uint64_t stretchStart_ = 0;
  uint64_t stretchBytes_ = 0;
};

// Message data as it travels, without its status line: lines are
// dot-stuffed and the line "." ends the data. The unstuffer undoes the
// stuffing in place as the data arrives: the text holds the message as the
// server stored it up to what is settled, and the bytes received since
// after it. A line starts at the beginning or after LF for its leading dot to
// be dropped, and at the beginning or after CR LF for "." CR LF to end the
// data; a dot at a line start that is one of the last two bytes waits for
// the bytes after it.
class TransferUnstuffer {
 public:
  // Settles the bytes received since the last call. True when the
  // terminating line was found: the text is then cut where it starts.
  bool Settle(std::string& text);
  // The text before this is final.
  size_t settled() const { return settled_; }
  // The settled text was taken out of the front of the text.
  void SettledTaken() { settled_ = 0; }

 private:
  // The transfer's byte `back` (1 or 2) places before `at`.
  char TransferByte(const std::string& text, size_t at, size_t back) const;

  size_t settled_ = 0;
  // The last two transfer bytes before the settled end: the text starts a line.
  char before_[2] = {'\r', '\n'};
};

}  // namespace quorvel
