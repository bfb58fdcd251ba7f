// quorvel send without --mes, in quorvel-core: composes the message with the library's MIME composer and
// delivers it with its SMTP client, once for each --to address (the i-th
// --cc rides along as the copy of the i-th delivery), as the library's send
// functions deliver a mail with several recipients. A progress bar is drawn
// from the client's events when standard error is a terminal.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>

#include "Commands.h"
#include "ExitCodes.h"
#include "SecurityOptions.h"
#include "frame/ErrorCodes.h"
#include "frame/WholeFile.h"
#include "text/DerivedName.h"
#include "protocol/SmtpClient.h"
#include "message/MailMessage.h"
#include "frame/ContextTable.h"
#include "frame/TransportSecurity.h"
#include "platform/CodePages.h"
#include "platform/Terminal.h"
#include "platform/Threads.h"

namespace quorvel::tool {

namespace {

// What the progress events said so far in one delivery (the callback has no
// user value).
struct Progress {
  bool shown = false;  // on a terminal and not --quiet
  int transactions = 0;
  uint32_t messageBytes = 0;
  uint32_t errorId = 0;
  bool barDrawn = false;
  bool accepted = false;
} progress;

void DrawBar(uint32_t percent) {
  constexpr int kWidth = 40;
  const int filled = static_cast<int>(percent) * kWidth / 100;
  std::fprintf(stderr, "\r  [%s%s] %3u%% of %u bytes", std::string(filled, '#').c_str(),
               std::string(kWidth - filled, '.').c_str(), percent, progress.messageBytes);
  progress.barDrawn = true;
}

void OnProgress(uint32_t event, uint32_t argument) {
  if (event == kSmtpError) progress.errorId = argument;
  if (event == kSmtpMessageSize) progress.messageBytes = argument;
  if (event == kSmtpAccepted) progress.accepted = true;
  if (!progress.shown) return;
  switch (event) {
    case kSmtpConnecting: std::fprintf(stderr, "connecting...\n"); break;
    case kSmtpConnected: std::fprintf(stderr, "connected\n"); break;
    case kSmtpTransactionStart:
      progress.barDrawn = progress.accepted = false;
      std::fprintf(stderr, "%s\n", ++progress.transactions == 1 ? "sending" : "sending the copy");
      break;
    case kSmtpProgress:
      DrawBar(argument);
      // The last percentage follows the server's acceptance.
      if (progress.accepted) std::fprintf(stderr, "\n  accepted by the server\n");
      break;
    default: break;
  }
}


// The body: the file's bytes, standard input for "-", empty without a file.
std::optional<std::string> ReadBody(const std::string& file) {
  if (file.empty()) return std::string();
  if (file != "-") return ReadWholeFile(file);
  std::string body(std::istreambuf_iterator<char>(std::cin), {});
  if (std::cin.bad()) return std::nullopt;
  return body;
}

// The exit code of a failed delivery, from the client's error identifier
// (0 when the client did not fail) and the message's error code.
int ExitCodeOfFailure(uint32_t errorId, uint32_t errorCode) {
  switch (errorId) {
    case kSmtpSocketFailed:
    case kSmtpConnectFailed:
    case kSmtpTlsFailed:
    case kSmtpTlsNotOffered:
    case kSmtpSendFailed:
    case kSmtpServerClosed:
    case kSmtpNotConnected: return kExitNoConnection;
    case kSmtpReceiveFailed: return kExitTimeout;
    case kSmtpBadGreeting:
    case kSmtpHeloRefused:
    case kSmtpQuitRefused:
    case kSmtpTransactionRefused:
    case kSmtpRecipientRefusedOrFileUnread:
    case kSmtpAuthenticationFailed: return kExitServerRefused;
    case kSmtpFileNotOpened:
    case kSmtpFileEmpty: return kExitBadFile;
    default: break;
  }
  return errorCode == kErrorMimeCreation ? kExitBadFile : kExitOtherFailure;
}

// The context's TLS mode, credentials and trust; a usage problem as text.
std::optional<std::string> ApplySmtpSecurity(const Invocation& invocation) {
  const std::optional<uint32_t> mode = TlsModeOf(invocation.Value("--tls"));
  if (!mode) return "option --tls: \"" + invocation.Value("--tls") + "\" is not starttls or implicit";
  std::string password;
  if (invocation.Has("--password-file")) {
    const auto read = ReadPasswordFile(invocation.Value("--password-file"));
    if (!read) return "cannot read the password file " + invocation.Value("--password-file");
    password = *read;
  }
  std::string token;
  if (invocation.Has("--oauth-token-file")) {
    const std::string& file = invocation.Value("--oauth-token-file");
    const auto read = ReadPasswordFile(file);
    if (!read || read->empty()) return "cannot read a token from the file " + file;
    token = *read;
    UseTokenFile(file);
    SetOAuthTokenCallback(CallingContext(), TokenFromFile, 0);
  }
  SetSmtpSecurity(CallingContext(), *mode, invocation.Value("--user").c_str(), password.c_str(),
                  token.c_str());
  const SecurityOptions trust{invocation.Value("--tls"), invocation.Value("--ca-file"),
                              invocation.Has("--insecure")};
  SetTlsTrust(CallingContext(), trust.caFile.c_str(), !trust.insecure);
  WarnIfInsecure("send", trust);
  return std::nullopt;
}

// Delivery on a context of its own, which carries the transport security to
// the SMTP client (the library's core, as this program links it).
struct SendContext {
  SendContext() { Contexts().AddNew(platform::CurrentThreadId(), nullptr); }
  ~SendContext() { Contexts().Remove(platform::CurrentThreadId()); }
};

}  // namespace

int RunSendBySmtp(const Invocation& invocation) {
  SendContext context;
  if (const auto problem = ApplySmtpSecurity(invocation)) {
    return UsageError(invocation.command(), *problem);
  }
  for (const char* option : {"--from", "--to"}) {
    if (!invocation.Has(option)) {
      return UsageError(invocation.command(), "option " + std::string(option) + " is required");
    }
  }
  std::string host;
  uint16_t port = 25;
  if (!ParseHostAndPort(invocation.Value("--smtp"), host, port)) {
    return UsageError(invocation.command(), "option --smtp: \"" + invocation.Value("--smtp") +
                                                "\" is not HOST or HOST:PORT (port 1 to 65535)");
  }
  const Arguments& to = invocation.Values("--to");
  const Arguments& cc = invocation.Values("--cc");
  if (cc.size() > to.size()) {
    return UsageError(invocation.command(), "more --cc than --to: each delivery carries one copy");
  }
  char* end = nullptr;
  const std::string timeout = invocation.Value("--timeout", "90000");
  const unsigned long timeoutMs = std::strtoul(timeout.c_str(), &end, 10);
  if (*end != '\0' || timeoutMs == 0 || timeoutMs > 0xFFFFFFFFul) {
    return UsageError(invocation.command(), "option --timeout: \"" + timeout + "\" is no number of milliseconds");
  }
  const std::string bodyFile = invocation.Value("--body-file");
  const std::optional<std::string> body = ReadBody(bodyFile);
  if (!body) {
    invocation.Complain("cannot read the body file " + bodyFile);
    return kExitBadFile;
  }
  progress.shown = !invocation.Has("--quiet") && platform::StandardErrorIsTerminal();

  const std::string from = invocation.Value("--from");
  for (size_t i = 0; i < to.size(); ++i) {
    MailMessage message(nullptr, nullptr, nullptr);
    message.SetSender(host.c_str(), port, from.c_str(), DerivedName("", from).c_str());
    message.SetRecipient(to[i]);
    message.SetCc(i < cc.size() ? cc[i].c_str() : "");
    if (invocation.Has("--subject")) message.SetSubject(invocation.Value("--subject"));
    message.SetBody(*body);
    // The texts of a command line and of files are in the system's code page.
    message.CharsetForCodePage(static_cast<int32_t>(platform::AnsiCodePage()));
    message.SetProgressCallback(OnProgress);
    message.timeoutMs = static_cast<uint32_t>(timeoutMs);
    for (const std::string& attachment : invocation.Values("--attach")) {
      if (!message.AddAttachment(attachment.c_str(), nullptr, false)) {
        invocation.Complain("cannot attach " + attachment + ": no such file");
        return kExitBadFile;
      }
    }
    progress.errorId = 0;
    progress.transactions = 0;
    if (!message.SendBySmtp(false, nullptr, false)) {
      if (progress.barDrawn) std::fprintf(stderr, "\n");
      std::string why = "error " + std::to_string(message.errorCode) + " (" +
                        ErrorMessage(message.errorCode) + ")";
      if (progress.errorId != 0) {
        why += ", SMTP error identifier " + std::to_string(progress.errorId) + " (" +
               SmtpErrorMeaning(progress.errorId) + ")";
      }
      if (!message.serverReply.empty()) why += "; the server said: " + message.serverReply;
      invocation.Complain("delivery to " + to[i] + " through " + host + ":" + std::to_string(port) +
                          " failed: " + why);
      return ExitCodeOfFailure(progress.errorId, message.errorCode);
    }
    if (!invocation.Has("--quiet")) {
      std::printf("sent to %s%s%s\n", to[i].c_str(), message.cc.size() >= 2 ? ", copy to " : "",
                  message.cc.size() >= 2 ? message.cc.c_str() : "");
    }
  }
  return kExitOk;
}

}  // namespace quorvel::tool
