// SmtpClient delivers one composed message file to one SMTP server with the
// minimal dialogue (HELO, MAIL FROM, RCPT TO, DATA, end of data, QUIT). It
// reports every step to the client window and the progress callback, keeps
// the context's percentage up to date and obeys stop and suspend requests
// between any two steps. Failures answer false with an error identifier.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "frame/Checkpoint.h"
#include "frame/ProgressReporter.h"
#include "frame/TransportSecurity.h"
#include "protocol/CommandChannel.h"

namespace quorvel {

// Events of the "MESSAGES_SMTP" window message and of the callback.
enum SmtpEvent : uint32_t {
  kSmtpConnecting = 1,
  kSmtpConnected = 2,
  kSmtpDisconnecting = 3,
  kSmtpDisconnected = 4,
  kSmtpTransactionStart = 5,
  kSmtpRecipient = 6,
  kSmtpData = 7,
  kSmtpDataStart = 8,
  kSmtpAccepted = 9,
  kSmtpMessageSize = 10,     // argument: bytes of message data
  kSmtpProgress = 11,        // argument: percent
  kSmtpAwaitingReply = 12,
  kSmtpError = 13,           // argument: the error identifier
};

// The client's error identifiers (lastErrorId).
enum SmtpErrorId : uint32_t {
  kSmtpNoError = 0,
  kSmtpSocketFailed = 1,
  kSmtpConnectFailed = 2,
  kSmtpBadGreeting = 3,
  kSmtpSendFailed = 4,
  kSmtpReceiveFailed = 5,
  kSmtpHeloRefused = 6,
  kSmtpServerClosed = 7,
  kSmtpQuitRefused = 8,
  kSmtpNotConnected = 9,
  kSmtpTransactionRefused = 10,
  kSmtpFileNotOpened = 11,
  kSmtpRecipientRefusedOrFileUnread = 12,
  kSmtpFileEmpty = 13,
  kSmtpNoMemory = 14,
  // Transport security (an extension, only with a context's TLS or
  // credentials set): TLS could not be set up (handshake, certificate, or a
  // refused STARTTLS); TLS is required but STARTTLS is not offered;
  // authentication refused or impossible.
  kSmtpTlsFailed = 15,
  kSmtpTlsNotOffered = 16,
  kSmtpAuthenticationFailed = 17,
};

// What an identifier means, in a few words.
const char* SmtpErrorMeaning(uint32_t id);

// Location logged for an exception while reading the message file.
inline constexpr uint32_t kLocationSmtpReadFile = 535;
// Message data goes out in pieces of this size at most.
inline constexpr size_t kSmtpPieceSize = 2048;
// The longest wait for the answer to a QUIT that follows a failure.
inline constexpr uint32_t kSmtpClosingTimeoutMs = 3000;

class SmtpClient {
 public:
  // The three pointers are the context's stopRequested, suspendRequested and
  // percentSent; each may be null. The percentage is set to 0. The transport
  // security is the caller's to give: the send functions pass their context's.
  SmtpClient(std::atomic<uint8_t>* stopFlag, std::atomic<uint8_t>* suspendFlag,
             std::atomic<int32_t>* percent, const TransportSecurity& security = {});
  SmtpClient(const SmtpClient&) = delete;
  SmtpClient& operator=(const SmtpClient&) = delete;
  virtual ~SmtpClient();

  bool Connect(const std::string& host, uint16_t port);
  // One mail transaction with the content of a file up to its first NUL
  // byte. The file is read twice in blocks (once to find its length, once
  // while sending), never held whole. An address holding CR, LF, NUL or an
  // angle bracket is refused before anything is sent, as the server would
  // refuse it (a recipient: 12; the sender: 10).
  bool SendMailFile(const std::string& from, const std::string& recipient, const std::string& path);
  // One mail transaction with the data up to its first NUL byte.
  bool SendMailData(const std::string& from, const std::string& recipient, std::string_view data);
  // After a failure, the QUIT waits kSmtpClosingTimeoutMs at most (or the
  // time-out, when shorter) and the first failure stays the one reported.
  bool Disconnect();
  // Receives one reply and checks its first three characters.
  bool ReadReply(uint32_t expected, uint32_t errorId);
  // Records the identifier (event 13 for a nonzero one); always false.
  bool SetErrorId(uint32_t id);

  bool IsConnected() const { return connected_ != 0; }
  uint32_t lastErrorId() const { return lastErrorId_; }
  const std::string& lastReply() const { return reply_; }
  // The first line of the reply that made the last operation fail; empty
  // when no reply did (a closed connection, a time-out, an unreadable file).
  const std::string& refusal() const { return refusal_; }

  void SetWindow(WindowHandle window) { reporter_.window = window; }
  void SetCallback(ProgressCallback callback) { reporter_.callback = callback; }
  void SetTimeout(uint32_t milliseconds) { channel_.timeoutMs = milliseconds; }
  uint32_t timeout() const { return channel_.timeoutMs; }
  void SetClosingTimeout(uint32_t milliseconds) { closingTimeoutMs_ = milliseconds; }
  void SetSecurity(const TransportSecurity& security) { security_ = security; }
  // Why TLS could not be set up (after error identifier 15).
  const std::string& tlsFailure() const { return channel_.tlsFailure(); }
  // A stand-in for the network connection (tests and fuzz targets).
  void UseSocket(std::unique_ptr<platform::TimeoutSocket> socket) {
    channel_.UseSocket(std::move(socket));
  }

 private:
  // A stop request marks the client disconnected and answers true.
  bool Stopped();
  void SetPercent(int32_t value);
  // The message data: `total` bytes, asked for in order, at most the
  // given count at a time; an empty answer is a read failure.
  using DataReader = std::function<std::string_view(size_t most)>;
  bool Transact(const std::string& from, const std::string& recipient, uint64_t total,
                const DataReader& next);
  bool SendData(uint64_t total, const DataReader& next);
  bool FailAndClose(uint32_t id);
  bool CloseAfterFailure();
  bool SayQuit();
  // EHLO, STARTTLS and AUTH as the transport security asks, in place of HELO.
  bool GreetSecurely();
  bool SayEhlo();
  bool Authenticate(const std::string& capabilities);
  // Sends one step of an authentication and checks its reply.
  bool AuthenticationStep(const std::string& line, uint32_t expected);
  // AUTH with the host's OAuth 2 token by the best offered mechanism, and
  // once more with a renewed token when the host gives one.
  bool AuthenticateWithToken(const std::string& mechanisms);
  // One AUTH with `token`; a refusal records no error identifier (unlike a
  // failed send or receive).
  bool TokenAccepted(std::string_view mechanism, const std::string& token);

  std::string host_;
  uint16_t port_ = 25;
  uint8_t connected_ = 0;
  CommandChannel channel_;
  std::string reply_;
  std::string refusal_;
  uint32_t lastErrorId_ = 0;
  ProgressReporter reporter_;
  TransportSecurity security_;
  RequestFlags requests_;
  std::atomic<int32_t>* percent_;
  uint32_t closingTimeoutMs_ = kSmtpClosingTimeoutMs;
  bool closingAfterFailure_ = false;  // keeps the failure reported
  std::string stuffed_;  // one piece of data with its leading dots doubled
};

}  // namespace quorvel
