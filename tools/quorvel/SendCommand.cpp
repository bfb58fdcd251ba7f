// quorvel send: composes one message with the library's MIME composer and
// delivers it with its SMTP client, drawing a progress bar from the client's
// events.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Commands.h"
#include "frame/ErrorCodes.h"
#include "mail/DerivedName.h"
#include "mail/SmtpClient.h"
#include "mime/MailMessage.h"
#include "frame/WholeFile.h"

namespace quorvel::tool {

namespace {

struct SendOptions {
  std::string host;
  uint16_t port = 25;
  std::string from;
  std::string to;
  std::string cc;
  std::string subject;
  std::string bodyFile;
  std::vector<std::string> attachments;
};

// What the progress events said so far (the callback has no user value).
struct Progress {
  int transactions = 0;
  uint32_t messageBytes = 0;
  uint32_t errorId = 0;
  bool barShown = false;
  bool accepted = false;
} progress;

void DrawBar(uint32_t percent) {
  constexpr int kWidth = 40;
  const int filled = static_cast<int>(percent) * kWidth / 100;
  std::fprintf(stderr, "\r  [%s%s] %3u%% of %u bytes", std::string(filled, '#').c_str(),
               std::string(kWidth - filled, '.').c_str(), percent, progress.messageBytes);
  progress.barShown = true;
}

void OnProgress(uint32_t event, uint32_t argument) {
  switch (event) {
    case kSmtpConnecting: std::fprintf(stderr, "connecting...\n"); break;
    case kSmtpConnected: std::fprintf(stderr, "connected\n"); break;
    case kSmtpTransactionStart:
      progress.barShown = progress.accepted = false;
      std::fprintf(stderr, "%s\n", ++progress.transactions == 1 ? "sending" : "sending the copy");
      break;
    case kSmtpMessageSize: progress.messageBytes = argument; break;
    case kSmtpProgress:
      DrawBar(argument);
      // The last percentage follows the server's acceptance.
      if (progress.accepted) std::fprintf(stderr, "\n  accepted by the server\n");
      break;
    case kSmtpAccepted: progress.accepted = true; break;
    case kSmtpError: progress.errorId = argument; break;
    default: break;
  }
}

bool ParseHostAndPort(const std::string& text, SendOptions& options) {
  const size_t colon = text.rfind(':');
  options.host = text.substr(0, colon);
  if (colon == std::string::npos) return !options.host.empty();
  char* end = nullptr;
  const unsigned long port = std::strtoul(text.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || port == 0 || port > 65535) return false;
  options.port = static_cast<uint16_t>(port);
  return !options.host.empty();
}

bool ParseOptions(const Arguments& arguments, SendOptions& options) {
  for (size_t i = 0; i < arguments.size(); i += 2) {
    if (i + 1 >= arguments.size()) return false;
    const std::string& name = arguments[i];
    const std::string& value = arguments[i + 1];
    if (name == "--smtp") {
      if (!ParseHostAndPort(value, options)) return false;
    } else if (name == "--from") {
      options.from = value;
    } else if (name == "--to") {
      options.to = value;
    } else if (name == "--cc") {
      options.cc = value;
    } else if (name == "--subject") {
      options.subject = value;
    } else if (name == "--body-file") {
      options.bodyFile = value;
    } else if (name == "--attach") {
      options.attachments.push_back(value);
    } else {
      return false;
    }
  }
  return !options.host.empty() && !options.from.empty() && !options.to.empty();
}

}  // namespace

int RunSend(const Arguments& arguments) {
  if (!arguments.empty() && arguments[0] == "--mes") return RunSendMes(arguments);
  SendOptions options;
  if (!ParseOptions(arguments, options)) {
    std::fprintf(stderr, "usage: quorvel send %s\n", kSendUsage);
    return 2;
  }
  std::string body;
  if (!options.bodyFile.empty()) {
    const auto content = ReadWholeFile(options.bodyFile);
    if (!content) {
      std::fprintf(stderr, "quorvel send: cannot read %s\n", options.bodyFile.c_str());
      return 1;
    }
    body = *content;
  }
  MailMessage message(nullptr, nullptr, nullptr);
  const std::string name = DerivedName("", options.from);
  message.SetSender(options.host.c_str(), options.port, options.from.c_str(), name.c_str());
  message.SetRecipient(options.to);
  message.SetCc(options.cc.c_str());
  if (!options.subject.empty()) message.SetSubject(options.subject);
  message.SetBody(body);
  message.SetProgressCallback(OnProgress);
  for (const std::string& attachment : options.attachments) {
    if (!message.AddAttachment(attachment.c_str(), nullptr, false)) {
      std::fprintf(stderr, "quorvel send: cannot attach %s\n", attachment.c_str());
      return 1;
    }
  }
  if (message.SendBySmtp(false, nullptr, false)) {
    std::fprintf(stderr, "sent to %s%s%s\n", options.to.c_str(), options.cc.size() >= 2 ? ", copy to " : "",
                 options.cc.size() >= 2 ? options.cc.c_str() : "");
    return 0;
  }
  if (progress.barShown) std::fprintf(stderr, "\n");
  std::fprintf(stderr, "quorvel send: failed with error %u (%s)\n", message.errorCode,
               ErrorMessage(message.errorCode));
  if (progress.errorId != 0) {
    std::fprintf(stderr, "  SMTP error identifier %u: %s\n", progress.errorId,
                 SmtpErrorMeaning(progress.errorId));
  }
  return 1;
}

}  // namespace quorvel::tool
