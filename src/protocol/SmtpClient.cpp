// The dialogue follows the minimal SMTP exchange. One correction to sending
// the data byte for byte: a line that begins with "." gets a second one
// (RFC 5321, 4.5.2), so the server stores exactly the file; pieces,
// percentages and events are still counted on the file's own bytes. A message
// file is sent from a block buffer, never read whole, so memory stays the
// same for any size.
#include "protocol/SmtpClient.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "frame/Library.h"
#include "frame/LogEvents.h"
#include "text/LineSafety.h"
#include "platform/File.h"
#include "platform/Sockets.h"

namespace quorvel {

namespace {

int ReplyCode(std::string_view reply) {
  int code = 0;
  for (size_t i = 0; i < 3 && i < reply.size(); ++i) {
    if (reply[i] < '0' || reply[i] > '9') break;
    code = code * 10 + (reply[i] - '0');
  }
  return code;
}

// Appends `piece` to `out` with a "." doubled at the start of every line.
void DoubleLeadingDots(std::string_view piece, bool& atLineStart, std::string& out) {
  out.clear();
  size_t position = 0;
  while (position < piece.size()) {
    if (atLineStart && piece[position] == '.') out += '.';
    const size_t lineEnd = piece.find('\n', position);
    const size_t next = lineEnd == std::string_view::npos ? piece.size() : lineEnd + 1;
    out.append(piece.substr(position, next - position));
    atLineStart = lineEnd != std::string_view::npos;
    position = next;
  }
}

// Reads a message file in blocks: once to find where its data ends, then
// again, piece by piece, while the data is sent.
class MessageFileReader {
 public:
  explicit MessageFileReader(platform::File& file) : file_(file) {}

  bool Allocate(uint64_t length) {
    try {
      block_.resize(static_cast<size_t>(std::min<uint64_t>(length, kBlockSize)));
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  // The bytes before the first NUL in the file's first `length` bytes; false
  // when fewer than `length` can be read. Leaves the file at its start.
  bool MeasureUpToNul(uint64_t length, uint64_t& total) {
    total = 0;
    for (uint64_t left = length; left > 0;) {
      const size_t got = file_.Read(block_.data(), static_cast<size_t>(std::min<uint64_t>(left, block_.size())));
      if (got == 0) return false;
      const void* nul = std::memchr(block_.data(), '\0', got);
      if (nul != nullptr) {
        total += static_cast<uint64_t>(static_cast<const char*>(nul) - block_.data());
        break;
      }
      total += got;
      left -= got;
    }
    file_.Seek(0, platform::SeekOrigin::Begin);
    return true;
  }

  // Up to `most` of the next bytes; empty at the end of the file.
  std::string_view Next(size_t most) {
    if (start_ == end_) {
      start_ = 0;
      end_ = file_.Read(block_.data(), block_.size());
    }
    const size_t size = std::min(most, end_ - start_);
    const std::string_view piece(block_.data() + start_, size);
    start_ += size;
    return piece;
  }

 private:
  static constexpr size_t kBlockSize = 64 * 1024;
  platform::File& file_;
  std::vector<char> block_;
  size_t start_ = 0;
  size_t end_ = 0;
};

}  // namespace

const char* SmtpErrorMeaning(uint32_t id) {
  switch (id) {
    case kSmtpNoError: return "no error";
    case kSmtpSocketFailed: return "the socket cannot be created or its time-out set";
    case kSmtpConnectFailed: return "empty host name, or the connection failed";
    case kSmtpBadGreeting: return "the server's greeting is not 220";
    case kSmtpSendFailed: return "sending a command or the message data failed";
    case kSmtpReceiveFailed: return "receiving a reply failed (error, time-out or cancel)";
    case kSmtpHeloRefused: return "the reply to HELO is not 250";
    case kSmtpServerClosed: return "the server closed the connection";
    case kSmtpQuitRefused: return "the reply to QUIT is not 221";
    case kSmtpNotConnected: return "not connected";
    case kSmtpTransactionRefused: return "MAIL FROM, DATA or the end of data was refused";
    case kSmtpRecipientRefusedOrFileUnread:
      return "the recipient was refused, or the message file cannot be read";
    case kSmtpFileNotOpened: return "the message file cannot be opened";
    case kSmtpFileEmpty: return "the message file is empty";
    case kSmtpNoMemory: return "no memory for the message file";
    case kSmtpTlsFailed: return "TLS could not be set up (handshake, certificate or STARTTLS)";
    case kSmtpTlsNotOffered: return "TLS is required but the server offers no STARTTLS";
    case kSmtpAuthenticationFailed:
      return "authentication refused, or impossible (no mechanism in common, or no TLS)";
    default: return "unknown error identifier";
  }
}

SmtpClient::SmtpClient(std::atomic<uint8_t>* stopFlag, std::atomic<uint8_t>* suspendFlag,
                       std::atomic<int32_t>* percent, const TransportSecurity& security)
    : security_(security), percent_(percent) {
  platform::InitializeSockets();
  reporter_.messageNumber = SmtpMessageNumber();
  requests_ = {stopFlag, suspendFlag};
  SetPercent(0);
}

SmtpClient::~SmtpClient() {
  if (connected_ != 0) Disconnect();
}

bool SmtpClient::Stopped() {
  if (!StopRequestedAtCheckpoint(requests_)) return false;
  connected_ = 0;
  return true;
}

void SmtpClient::SetPercent(int32_t value) {
  if (percent_ != nullptr) percent_->store(value);
}

bool SmtpClient::SetErrorId(uint32_t id) {
  if (closingAfterFailure_) return false;
  if (id == kSmtpNoError) refusal_.clear();
  lastErrorId_ = id;
  if (id != kSmtpNoError) reporter_.Report(kSmtpError, id);
  return false;
}

bool SmtpClient::FailAndClose(uint32_t id) {
  SetErrorId(id);
  channel_.Close();
  return false;
}

bool SmtpClient::ReadReply(uint32_t expected, uint32_t errorId) {
  if (Stopped()) return false;
  SetErrorId(kSmtpNoError);
  const CommandChannel::Received received = channel_.ReadReply(reply_, SmtpReplyIsComplete);
  if (Stopped()) return false;
  if (received == CommandChannel::Received::Failed) return SetErrorId(kSmtpReceiveFailed);
  if (received == CommandChannel::Received::Closed) return SetErrorId(kSmtpServerClosed);
  if (ReplyCode(reply_) == static_cast<int>(expected)) return true;
  SetErrorId(errorId);
  if (!closingAfterFailure_) refusal_ = OneLineText(reply_.substr(0, reply_.find_first_of("\r\n")));
  return false;
}

bool SmtpClient::Connect(const std::string& host, uint16_t port) {
  if (Stopped()) return false;
  SetErrorId(kSmtpNoError);
  if (host.empty()) return SetErrorId(kSmtpConnectFailed);
  if (connected_ != 0) Disconnect();
  host_ = host;
  port_ = port;
  const uint32_t failed = channel_.Open(
      host_, port_, security_.smtpTls == kTlsImplicit, security_,
      {kSmtpSocketFailed, kSmtpConnectFailed, kSmtpTlsFailed},
      [&] { SetErrorId(kSmtpSocketFailed); }, [&] { reporter_.Report(kSmtpConnecting, 0); });
  if (failed != kSmtpNoError) return FailAndClose(failed);
  reporter_.Report(kSmtpAwaitingReply, 0);
  if (!ReadReply(220, kSmtpBadGreeting)) {
    channel_.Close();
    return false;
  }
  if (security_.SmtpExtended()) {
    if (!GreetSecurely()) {
      channel_.Close();
      return false;
    }
  } else {
    if (!channel_.Send("HELO " + OneLineText(platform::LocalHostName()) + "\r\n")) {
      return FailAndClose(kSmtpSendFailed);
    }
    if (!ReadReply(250, kSmtpHeloRefused)) {
      channel_.Close();
      return false;
    }
  }
  reporter_.Report(kSmtpConnected, 0);
  connected_ = 1;
  return true;
}

bool SmtpClient::SendMailFile(const std::string& from, const std::string& recipient,
                              const std::string& path) {
  SetErrorId(kSmtpNoError);
  auto file = platform::File::TryOpen(path, platform::FileAccess::Read,
                                      platform::FileShare::DenyWrite,
                                      platform::FileDisposition::OpenExisting);
  if (!file) return SetErrorId(kSmtpFileNotOpened);
  MessageFileReader reader(*file);
  uint64_t total = 0;
  try {
    const uint64_t length = file->Length();
    if (length == 0) return SetErrorId(kSmtpFileEmpty);
    if (!reader.Allocate(length)) return SetErrorId(kSmtpNoMemory);
    // The data ends at the first NUL byte, as it would in a buffer read whole.
    if (!reader.MeasureUpToNul(length, total)) return SetErrorId(kSmtpRecipientRefusedOrFileUnread);
  } catch (const platform::FileError& error) {
    LogException(kLocationSmtpReadFile, error);
    return SetErrorId(kSmtpRecipientRefusedOrFileUnread);
  }
  return Transact(from, recipient, total, [&](size_t most) { return reader.Next(most); });
}

bool SmtpClient::SendMailData(const std::string& from, const std::string& recipient,
                              std::string_view data) {
  data = data.substr(0, data.find('\0'));
  return Transact(from, recipient, data.size(), [&](size_t most) {
    const std::string_view piece = data.substr(0, most);
    data.remove_prefix(piece.size());
    return piece;
  });
}

bool SmtpClient::Transact(const std::string& from, const std::string& recipient, uint64_t total,
                          const DataReader& next) {
  SetPercent(0);
  if (Stopped()) return false;
  SetErrorId(kSmtpNoError);
  if (connected_ == 0) return SetErrorId(kSmtpNotConnected);
  if (!IsCommandSafeAddress(from)) return SetErrorId(kSmtpTransactionRefused);
  if (!IsCommandSafeAddress(recipient)) return SetErrorId(kSmtpRecipientRefusedOrFileUnread);

  reporter_.Report(kSmtpTransactionStart, 0);
  if (!channel_.Send("MAIL FROM: <" + from + ">\r\n")) return SetErrorId(kSmtpSendFailed);
  reporter_.Report(kSmtpAwaitingReply, 0);
  if (!ReadReply(250, kSmtpTransactionRefused)) return false;

  if (Stopped()) return false;
  reporter_.Report(kSmtpRecipient, 0);
  if (!channel_.Send("RCPT TO: <" + recipient + ">\r\n")) return SetErrorId(kSmtpSendFailed);
  reporter_.Report(kSmtpAwaitingReply, 0);
  if (!ReadReply(250, kSmtpRecipientRefusedOrFileUnread)) return false;

  if (Stopped()) return false;
  reporter_.Report(kSmtpData, 0);
  if (!channel_.Send("DATA\r\n")) return SetErrorId(kSmtpSendFailed);
  if (!ReadReply(354, kSmtpTransactionRefused)) return false;

  if (Stopped()) return false;
  if (!SendData(total, next)) return false;

  if (Stopped()) return false;
  reporter_.Report(kSmtpAwaitingReply, 0);
  if (!ReadReply(250, kSmtpTransactionRefused)) return false;
  SetPercent(100);
  reporter_.Report(kSmtpAccepted, 0);
  reporter_.Report(kSmtpProgress, 100);
  return true;
}

bool SmtpClient::SendData(uint64_t total, const DataReader& next) {
  reporter_.Report(kSmtpMessageSize, static_cast<uint32_t>(total));
  reporter_.Report(kSmtpDataStart, 0);
  bool atLineStart = true;
  for (uint64_t sent = 0; sent < total;) {
    if (Stopped()) return false;
    const auto percent = static_cast<int32_t>(static_cast<double>(sent) * 100.0 /
                                              static_cast<double>(total));
    SetPercent(percent);
    reporter_.Report(kSmtpProgress, static_cast<uint32_t>(percent));
    std::string_view piece;
    try {
      piece = next(static_cast<size_t>(std::min<uint64_t>(total - sent, kSmtpPieceSize)));
    } catch (const platform::FileError& error) {
      LogException(kLocationSmtpReadFile, error);
    }
    // The file changed under the client: the server must not take the
    // message, so the connection goes rather than the end of data.
    if (piece.empty()) return FailAndClose(kSmtpRecipientRefusedOrFileUnread);
    DoubleLeadingDots(piece, atLineStart, stuffed_);
    // The pieces leave with the end-of-data line: sent alone, that line
    // would wait for the server's acknowledgement of the last piece.
    if (!channel_.Send(stuffed_, true)) return SetErrorId(kSmtpSendFailed);
    sent += piece.size();
  }
  if (!channel_.Send("\r\n.\r\n")) return SetErrorId(kSmtpSendFailed);
  return true;
}

bool SmtpClient::Disconnect() {
  if (Stopped()) return false;
  if (connected_ != 0 && lastErrorId_ != kSmtpNoError) return CloseAfterFailure();
  SetErrorId(kSmtpNoError);
  if (connected_ == 0) return true;
  return SayQuit();
}

// After a failure QUIT is a courtesy to the server: a server that failed us
// once is not given the full time-out again, and whatever goes wrong with
// the QUIT does not replace the failure that counts.
bool SmtpClient::CloseAfterFailure() {
  const uint32_t timeout = channel_.timeoutMs;
  channel_.timeoutMs = std::min(timeout, closingTimeoutMs_);
  closingAfterFailure_ = true;
  const bool result = SayQuit();
  closingAfterFailure_ = false;
  channel_.timeoutMs = timeout;
  return result;
}

bool SmtpClient::SayQuit() {
  reporter_.Report(kSmtpDisconnecting, 0);
  if (!channel_.Send("QUIT\r\n")) {
    SetErrorId(kSmtpSendFailed);
    channel_.Close();
    connected_ = 0;
    return false;
  }
  reporter_.Report(kSmtpAwaitingReply, 0);
  const bool result = ReadReply(221, kSmtpQuitRefused);
  channel_.Close();
  connected_ = 0;
  reporter_.Report(kSmtpDisconnected, 0);
  return result;
}

}  // namespace quorvel
