// Two corrections to handing on the transfer as it came: the dot-stuffing is
// undone and the terminating line dropped (RFC 1939, section 3), and both
// are done on the newly received bytes as they arrive, so that fetching
// stays linear in the message size and nothing is left to pass over once
// the last byte is in. Both look for dots rather than walking the lines: a
// message has few lines that start with one.
#include "protocol/PopClient.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "frame/Library.h"
#include "text/LineSafety.h"
#include "protocol/PopSettings.h"
#include "platform/Clock.h"
#include "platform/Sockets.h"

namespace quorvel {

namespace {

bool IsOneLine(std::string_view text) { return OneLineText(text) == text; }

std::string Numbered(const char* command, uint32_t number) {
  return std::string(command) + " " + std::to_string(static_cast<uint16_t>(number)) + "\r\n";
}

// "+OK n size" with n equal to `number`; the size is stored.
bool ParseListAnswer(const std::string& reply, uint32_t number, uint64_t& size) {
  long first = 0;
  long second = 0;
  if (std::sscanf(reply.c_str(), "+OK %ld %ld", &first, &second) != 2) return false;
  if (first != static_cast<long>(static_cast<uint16_t>(number)) || second < 0) return false;
  size = static_cast<uint64_t>(second);
  return true;
}

}  // namespace

char TransferUnstuffer::TransferByte(const std::string& text, size_t at, size_t back) const {
  // Bytes from the settled end on are still as they came: a kept byte moves
  // down only once the next dropped dot is found, and never onto a byte
  // that is still to be looked at.
  const size_t fresh = at - settled_;
  return fresh >= back ? text[at - back] : before_[2 - back + fresh];
}

bool TransferUnstuffer::Settle(std::string& text) {
  size_t out = settled_;   // where the next kept byte goes
  size_t from = settled_;  // the first byte not yet moved to `out`
  size_t stop = text.size();
  bool ended = false;
  for (size_t dot = text.find('.', settled_); dot != std::string::npos;
       dot = text.find('.', dot + 1)) {
    if (TransferByte(text, dot, 1) != '\n') continue;
    if (text.size() - dot < 3) {
      stop = dot;
      break;
    }
    if (TransferByte(text, dot, 2) == '\r' && text.compare(dot + 1, 2, "\r\n") == 0) {
      stop = dot;
      ended = true;
      break;
    }
    if (out != from) std::memmove(text.data() + out, text.data() + from, dot - from);
    out += dot - from;
    from = dot + 1;
  }
  const char last = TransferByte(text, stop, 1);
  const char beforeLast = TransferByte(text, stop, 2);
  if (out != from) std::memmove(text.data() + out, text.data() + from, stop - from);
  out += stop - from;
  if (ended) {
    text.resize(out);
    return true;
  }
  // What waits (a dot and at most one byte after it) joins the settled text.
  if (out != stop) std::memmove(text.data() + out, text.data() + stop, text.size() - stop);
  text.resize(out + text.size() - stop);
  settled_ = out;
  before_[0] = beforeLast;
  before_[1] = last;
  return false;
}

PopClient::PopClient(WindowHandle window, const TransportSecurity& security,
                     const ReceiveLimits& limits)
    : security_(security), largestMessage_(limits.largestMessage) {
  platform::InitializeSockets();
  channel_.timeoutMs = limits.timeoutMs;
  reporter_.messageNumber = PopMessageNumber();
  reporter_.window = window;
}

PopClient::~PopClient() {
  if (connected_) Quit();
}

bool PopClient::SetError(uint32_t code) {
  lastError_ = code;
  if (code != kPopNoError) reporter_.Report(kPopError, code);
  return false;
}

bool PopClient::FailAndClose(uint32_t code) {
  if (code != kPopNoError) SetError(code);
  channel_.Close();
  return false;
}

bool PopClient::ReadReply(uint32_t errorCode) {
  SetError(kPopNoError);
  const CommandChannel::Received received = channel_.ReadReply(reply_, FirstLineIsComplete);
  if (received != CommandChannel::Received::Bytes) {
    // A time-out or a cancel has closed the connection, or the server has.
    connected_ = false;
    return FailAndClose(received == CommandChannel::Received::Closed ? kPopServerClosed
                                                                     : kPopReceiveFailed);
  }
  if (reply_.compare(0, 4, "-ERR") == 0) return SetError(errorCode);
  return true;
}

bool PopClient::SendCommand(const std::string& command) {
  if (channel_.Send(command)) return true;
  connected_ = false;
  return FailAndClose(kPopSendFailed);
}

bool PopClient::Command(const std::string& command, uint32_t errorCode) {
  if (!SendCommand(command)) return false;
  reporter_.Report(kPopAwaitingReply, 0);
  return ReadReply(errorCode);
}

bool PopClient::Connect(const char* host, uint16_t port, const char* user, const char* password) {
  if (PopConnectionsForbidden().load()) return false;
  platform::LocalHostAddress();
  SetError(kPopNoError);
  if (connected_) Quit();
  if (host != nullptr) {
    host_ = host;
    port_ = port;
  }
  if (user != nullptr) user_ = user;
  if (password != nullptr) password_ = password;

  const uint32_t failed = channel_.Open(
      host_, port_, security_.popTls == kTlsImplicit, security_,
      {kPopSocketFailed, kPopConnectFailed, kPopTlsFailed}, [&] { SetError(kPopSocketFailed); },
      [&] { reporter_.Report(kPopConnecting, 0); });
  if (failed != kPopNoError) return FailAndClose(failed);
  reporter_.Report(kPopAwaitingReply, 0);
  if (!ReadReply(kPopGreetingRefused)) return FailAndClose(kPopNoError);
  reporter_.Report(kPopGreeted, 0);
  reporter_.Report(kPopGreetingAccepted, 0);
  if (!SecureBeforeLogin()) return FailAndClose(kPopNoError);
  if (!LogIn()) return FailAndClose(kPopNoError);
  reporter_.Report(kPopLoggedIn, 0);
  connected_ = true;
  return true;
}

bool PopClient::LogInWithPassword() {
  if (!IsOneLine(user_)) return SetError(kPopUserRefused);
  if (!Command("USER " + user_ + "\r\n", kPopUserRefused)) return false;
  reporter_.Report(kPopUserAccepted, 0);
  reporter_.Report(kPopSendingPassword, 0);
  if (!IsOneLine(password_)) return SetError(kPopPasswordRefused);
  return Command("PASS " + password_ + "\r\n", kPopPasswordRefused);
}

bool PopClient::SecureBeforeLogin() {
  if (security_.popTls == kTlsUpgrade) {
    if (!Command("STLS\r\n", kPopTlsNotOffered)) return false;
    if (!channel_.StartTls(host_, security_)) return SetError(kPopTlsFailed);
  }
  if (security_.PopNeedsTlsForLogin() && !channel_.IsSecure()) {
    return SetError(kPopClearTextRefused);
  }
  return true;
}

bool PopClient::GetMessageCount(uint16_t& count) {
  if (PopConnectionsForbidden().load()) {
    count = 0;
    return true;
  }
  SetError(kPopNoError);
  reporter_.Report(kPopCounting, 0);
  if (!Command("STAT\r\n", kPopStatRefused)) return false;
  const size_t digit = reply_.find_first_of("0123456789");
  if (digit == std::string::npos) return false;
  uint16_t value = 0;
  for (size_t i = digit; i < reply_.size() && reply_[i] >= '0' && reply_[i] <= '9'; ++i) {
    value = static_cast<uint16_t>(value * 10 + (reply_[i] - '0'));
  }
  count = value;
  reporter_.Report(kPopCount, count);
  return true;
}

bool PopClient::Retrieve(uint32_t number, std::string& text) {
  text.clear();
  if (Retrieve(number, [&](std::string_view piece) { text.append(piece); })) return true;
  text.clear();
  return false;
}

bool PopClient::Retrieve(uint32_t number, const DataTaker& take) {
  if (PopConnectionsForbidden().load()) return false;
  SetError(kPopNoError);
  reporter_.Report(kPopRetrievalStart, 0);
  if (!Command(Numbered("LIST", number), kPopRetrieveRefused)) return false;
  uint64_t size = 0;
  if (!ParseListAnswer(reply_, number, size)) return SetError(kPopRetrieveRefused);
  reporter_.Report(kPopMessageSize, static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX)));
  if (size > largestMessage_) return SetError(kPopMessageTooLarge);
  reporter_.Report(kPopRetrieving, 0);
  if (!Command(Numbered("RETR", number), kPopRetrieveRefused)) return false;
  reporter_.Report(kPopDataArriving, 0);
  return ReceiveMessageData(size, take);
}

// The data goes through one buffer of about a piece: what is settled is
// handed over and taken out before the next piece comes.
bool PopClient::ReceiveMessageData(uint64_t size, const DataTaker& take) {
  std::string buffer;
  buffer.reserve(2 * kPopDataPieceSize);
  // The status line stays out of the text; what came with it is data.
  const size_t statusEnd = reply_.find("\r\n");
  buffer.append(reply_, statusEnd == std::string::npos ? reply_.size() : statusEnd + 2);
  TransferUnstuffer unstuffer;
  uint64_t handed = 0;
  stretchStart_ = platform::MonotonicMilliseconds();
  stretchBytes_ = 0;
  while (!unstuffer.Settle(buffer)) {
    if (unstuffer.settled() > 0) {
      take(std::string_view(buffer.data(), unstuffer.settled()));
      handed += unstuffer.settled();
      buffer.erase(0, unstuffer.settled());
      unstuffer.SettledTaken();
    }
    const double share = size == 0 ? 100.0
                                   : static_cast<double>(handed + buffer.size()) * 100.0 /
                                         static_cast<double>(size);
    reporter_.Report(kPopProgress, static_cast<uint32_t>(std::min(100.0, share)));
    const uint32_t failure = ReceiveData(buffer, handed + buffer.size());
    if (failure != kPopNoError) {
      // The rest of the data would be taken for replies: the session ends.
      connected_ = false;
      return FailAndClose(failure);
    }
  }
  // The whole message is there, and the session goes on; one that grew
  // past the limit with its last piece is not taken all the same.
  if (handed + buffer.size() > largestMessage_) return SetError(kPopMessageTooLarge);
  take(buffer);
  reporter_.Report(kPopMessageComplete, 0);
  reporter_.Report(kPopProgress, 100);
  return true;
}

uint32_t PopClient::ReceiveData(std::string& buffer, uint64_t arrived) {
  if (arrived > largestMessage_) return kPopMessageTooLarge;
  if (StopRequested()) return kPopReceiveFailed;
  const uint64_t now = platform::MonotonicMilliseconds();
  if (stretchBytes_ >= kPopLeastBytesPerTimeout) {
    stretchStart_ = now;
    stretchBytes_ = 0;
  }
  const uint64_t spent = now - stretchStart_;
  if (spent >= channel_.timeoutMs) return kPopReceiveFailed;
  const size_t before = buffer.size();
  const CommandChannel::Received received = channel_.ReceiveMore(
      buffer, kPopDataPieceSize, static_cast<uint32_t>(channel_.timeoutMs - spent));
  stretchBytes_ += buffer.size() - before;
  if (received == CommandChannel::Received::Closed) return kPopServerClosed;
  return received == CommandChannel::Received::Failed ? kPopReceiveFailed : kPopNoError;
}

bool PopClient::Delete(uint32_t number) {
  SetError(kPopNoError);
  reporter_.Report(kPopDeleting, 0);
  if (!SendCommand(Numbered("DELE", number))) return false;
  reporter_.Report(kPopAwaitingReply, 0);
  const bool result = ReadReply(kPopDeleteRefused);
  reporter_.Report(kPopDeleted, 0);
  return result;
}

bool PopClient::Quit() {
  if (PopConnectionsForbidden().load()) return false;
  SetError(kPopNoError);
  if (!connected_) return true;
  reporter_.Report(kPopDisconnecting, 0);
  if (!channel_.Send("QUIT\r\n")) {
    connected_ = false;
    return FailAndClose(kPopSendFailed);
  }
  reporter_.Report(kPopAwaitingReply, 0);
  const bool result = ReadReply(kPopQuitRefused);
  channel_.Close();
  connected_ = false;
  reporter_.Report(kPopDisconnected, 0);
  return result;
}

}  // namespace quorvel
