// A reply that arrives in pieces is gathered until it is whole, so that its
// rest never passes for the next reply. One time-out for the whole reply and
// a length bound keep a server that never ends its line, or trickles it a
// byte at a time, from holding the client for longer than the time-out.
#include "protocol/CommandChannel.h"

#include "frame/LogEvents.h"

namespace quorvel {

namespace {
constexpr size_t kLongestReply = 64 * 1024;
}

bool CommandChannel::CreateSocket() {
  platform::InitializeSockets();
  return socket_->Create();
}

bool CommandChannel::SetReceiveTimeoutOption() { return socket_->SetReceiveTimeoutOption(timeoutMs); }

bool CommandChannel::Connect(const std::string& host, uint16_t port) {
  socket_->StartTimeout(timeoutMs);
  const bool connected = socket_->Connect(host, port);
  socket_->StopTimeout();
  if (connected) socket_->SetNoDelay();
  return connected;
}

bool CommandChannel::Send(std::string_view text, bool moreFollows) {
  if (text.empty()) return true;
  socket_->StartTimeout(timeoutMs);
  const int sent = socket_->Send(text.data(), static_cast<int>(text.size()), moreFollows);
  socket_->StopTimeout();
  return sent == static_cast<int>(text.size());
}

uint32_t CommandChannel::Open(const std::string& host, uint16_t port, bool implicitTls,
                              const TransportSecurity& security, const OpenErrors& errors,
                              const std::function<void()>& optionRefused,
                              const std::function<void()>& connecting) {
  if (!CreateSocket()) return errors.socket;
  if (!SetReceiveTimeoutOption()) optionRefused();
  connecting();
  if (!Connect(host, port)) return errors.connect;
  if (implicitTls && !StartTls(host, security)) return errors.tls;
  return 0;
}

bool CommandChannel::StartTls(const std::string& host, const TransportSecurity& security) {
  tlsFailure_.clear();
  const platform::TlsOptions options{host, security.caFile, security.verifyCertificates};
  socket_->StartTimeout(timeoutMs);
  const bool secured = socket_->StartTls(options, tlsFailure_);
  socket_->StopTimeout();
  if (!secured) {
    SetLogValue(kKeyMessage, "TLS with " + host + " failed: " + tlsFailure_);
    WriteLogEvent(kEventTlsFailed);
  } else if (!security.verifyCertificates) {
    SetLogValue(kKeyMessage, "TLS with " + host + ": certificate not verified (verification is off)");
    WriteLogEvent(kEventTlsUnverified);
  }
  return secured;
}

CommandChannel::Received CommandChannel::ReceiveOnce(std::string& reply) {
  const int got = socket_->Receive(replyBuffer_, kReplyBufferSize);
  if (got == platform::kSocketError) return Received::Failed;
  if (got == 0) return Received::Closed;
  reply.append(replyBuffer_, static_cast<size_t>(got));
  return Received::Bytes;
}

CommandChannel::Received CommandChannel::ReadReply(std::string& reply, Completion complete) {
  reply.clear();
  socket_->StartTimeout(timeoutMs);
  Received result = ReceiveOnce(reply);
  while (result == Received::Bytes && !complete(reply) && reply.size() < kLongestReply) {
    const Received more = ReceiveOnce(reply);
    if (more == Received::Closed) break;
    result = more;
  }
  socket_->StopTimeout();
  return result;
}

CommandChannel::Received CommandChannel::ReceiveMore(std::string& text, size_t most,
                                                     uint32_t withinMs) {
  const size_t before = text.size();
  text.resize(before + most);
  socket_->StartTimeout(withinMs);
  const int got = socket_->Receive(text.data() + before, static_cast<int>(most));
  socket_->StopTimeout();
  text.resize(before + (got > 0 ? static_cast<size_t>(got) : 0));
  if (got == platform::kSocketError) return Received::Failed;
  return got == 0 ? Received::Closed : Received::Bytes;
}

bool LineIsComplete(std::string_view reply) { return !reply.empty() && reply.back() == '\n'; }

bool FirstLineIsComplete(std::string_view reply) {
  return reply.find('\n') != std::string_view::npos;
}

bool SmtpReplyIsComplete(std::string_view reply) {
  if (!LineIsComplete(reply)) return false;
  const size_t lastStart = reply.find_last_of('\n', reply.size() - 2);
  const std::string_view last = reply.substr(lastStart == std::string_view::npos ? 0 : lastStart + 1);
  return last.size() < 4 || last[3] != '-';
}

}  // namespace quorvel
