// quorvel receive --pop HOST[:PORT] --user U --password P --to DIR: fetches
// every waiting message into DIR through the library's exports, as a host
// does, and prints one line per mail. Progress is drawn when standard error
// is a terminal (not with --quiet). With --tls the password never goes in
// clear; with --oauth-token-file the login is by OAuth 2 token, over TLS. A
// message that could not be had (the server closed or stopped sending in its
// middle, or it is larger than --max-size) makes the command fail with the
// reason, after the lines of the mails received.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Commands.h"
#include "ExitCodes.h"
#include "SecurityOptions.h"
#include "TerminalText.h"
#include "quorvel/ErrorCodes.h"
#include "protocol/PopClient.h"
#include "platform/Terminal.h"
#include "quorvel/quorvel.h"

namespace quorvel::tool {

namespace {

struct ReceiveOptions {
  std::string host;
  uint16_t port = 110;
  std::string user;
  std::string password;
  std::string directory;
  std::string passwordFile;
  std::string tokenFile;
  bool quiet = false;
  SecurityOptions security;
  uint32_t timeoutMs = 0;       // 0: the library's default
  uint64_t largestMessage = 0;  // 0: the library's default
};

// A positive decimal number no larger than `most`.
bool ParsePositive(const std::string& text, uint64_t most, uint64_t& value) {
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || text[0] == '-' || *end != '\0' || parsed == 0 || parsed > most) return false;
  value = parsed;
  return true;
}

bool ParseReceiveOptions(const Arguments& arguments, ReceiveOptions& options) {
  size_t count = arguments.size();
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--insecure" || arguments[i] == "--quiet") {
      (arguments[i] == "--quiet" ? options.quiet : options.security.insecure) = true;
      --count;
      continue;
    }
    if (i + 1 >= arguments.size()) return false;
    const std::string& name = arguments[i];
    const std::string& value = arguments[++i];
    if (name == "--pop") {
      const size_t colon = value.rfind(':');
      options.host = value.substr(0, colon);
      if (colon != std::string::npos) {
        char* end = nullptr;
        const unsigned long port = std::strtoul(value.c_str() + colon + 1, &end, 10);
        if (*end != '\0' || port == 0 || port > 65535) return false;
        options.port = static_cast<uint16_t>(port);
      }
    } else if (name == "--user") {
      options.user = value;
    } else if (name == "--password") {
      options.password = value;
    } else if (name == "--to") {
      options.directory = value;
    } else if (name == "--password-file") {
      options.passwordFile = value;
    } else if (name == "--oauth-token-file") {
      options.tokenFile = value;
    } else if (name == "--tls") {
      options.security.tls = value;
    } else if (name == "--ca-file") {
      options.security.caFile = value;
    } else if (name == "--timeout") {
      uint64_t timeout = 0;
      if (!ParsePositive(value, UINT32_MAX, timeout)) return false;
      options.timeoutMs = static_cast<uint32_t>(timeout);
    } else if (name == "--max-size") {
      if (!ParsePositive(value, UINT64_MAX, options.largestMessage)) return false;
    } else {
      return false;
    }
  }
  return count % 2 == 0 && TlsModeOf(options.security.tls) && !options.host.empty() &&
         !options.directory.empty();
}

// What the client's events said during the run (the callback has no
// context argument, so this is the command's own state).
struct Progress {
  bool shown = false;
  uint32_t firstError = kPopNoError;
  uint32_t percentDrawn = UINT32_MAX;  // the bar is redrawn only when this changes
  uint32_t retrievals = 0;             // messages asked for so far
  uint32_t lostMessage = 0;            // the first message that could not be had
  uint32_t lostError = kPopNoError;    // and why
} progress;

// Errors that leave a message on the server that the tool was asked to fetch.
bool LosesMessage(uint32_t popError) {
  return popError == kPopServerClosed || popError == kPopReceiveFailed ||
         popError == kPopMessageTooLarge;
}

void OnProgress(uint32_t event, uint32_t argument) {
  if (event == kPopError && progress.firstError == kPopNoError) progress.firstError = argument;
  if (event == kPopRetrievalStart) ++progress.retrievals;
  if (event == kPopError && progress.retrievals != 0 && progress.lostError == kPopNoError &&
      LosesMessage(argument)) {
    progress.lostMessage = progress.retrievals;
    progress.lostError = argument;
  }
  if (!progress.shown) return;
  // The progress event comes with every piece of data received.
  if (event == kPopProgress && argument != progress.percentDrawn) {
    std::fprintf(stderr, "\r  received %3u%%", argument);
    progress.percentDrawn = argument;
  }
  if (event == kPopMessageComplete) {
    std::fprintf(stderr, "\n");
    progress.percentDrawn = UINT32_MAX;
  }
}

// The tool's exit code for a failed receive, from the client's first error
// (later ones come from closing a session that already failed).
int ExitCodeOfFailure(uint32_t popError, int32_t errorCode) {
  switch (popError) {
    case kPopSocketFailed:
    case kPopConnectFailed:
    case kPopServerClosed:
    case kPopSendFailed:
    case kPopTlsFailed:
      return kExitNoConnection;
    case kPopReceiveFailed:
      return kExitTimeout;
    case kPopMessageTooLarge:
      return kExitOtherFailure;
    case kPopNoError:
      return errorCode == kErrorNoDirectory ? kExitBadFile : kExitOtherFailure;
    default:
      return kExitServerRefused;
  }
}

}  // namespace

int RunReceive(const Arguments& arguments) {
  ReceiveOptions options;
  if (!ParseReceiveOptions(arguments, options)) {
    std::fprintf(stderr, "usage: quorvel receive %s\n", kReceiveUsage);
    return 2;
  }
  if (!options.passwordFile.empty()) {
    const auto password = ReadPasswordFile(options.passwordFile);
    if (!password) {
      std::fprintf(stderr, "quorvel receive: cannot read the password file %s\n",
                   options.passwordFile.c_str());
      return 1;
    }
    options.password = *password;
  }
  std::string token;
  if (!options.tokenFile.empty()) {
    const auto read = ReadPasswordFile(options.tokenFile);
    if (!read || read->empty()) {
      std::fprintf(stderr, "quorvel receive: cannot read a token from the file %s\n",
                   options.tokenFile.c_str());
      return 1;
    }
    token = *read;
    UseTokenFile(options.tokenFile);
  }
  MTAddNew(nullptr);
  if (!options.security.tls.empty()) MailsSetPopSecurity(*TlsModeOf(options.security.tls), 0);
  if (!token.empty()) {
    MailsSetPopOAuthToken(token.c_str());
    MailsSetOAuthTokenCallback(TokenFromFile, 0);
  }
  MailsSetTlsTrust(options.security.caFile.c_str(), options.security.insecure ? 0 : 1);
  WarnIfInsecure("receive", options.security);
  const CodedText noName;
  MailsUseSMTP_POP(options.host.c_str(), options.port, options.user.c_str(),
                   options.password.c_str(), "", 25, &noName, "", 0);
  MailsSetReceptionDirectory(options.directory.c_str());
  MailsSetPopLimits(options.timeoutMs, options.largestMessage);
  progress.shown = !options.quiet && platform::StandardErrorIsTerminal();
  MailsSetCallback(OnProgress);
  MailDataList mails;
  const bool received = MailsReceiveMails(&mails);
  const int32_t error = MailsGetLastErrorCode();
  MTRemove();
  for (uint32_t i = 0; i < mails.Size(); ++i) {
    const MailData& mail = mails[i];
    std::printf("%s  from %s  \"%s\"  %zu attachment(s)\n", TerminalText(mail.filePath).c_str(),
                TerminalText(mail.from).c_str(), TerminalText(mail.subject).c_str(),
                mail.attachmentNames.size());
  }
  if (!received) {
    std::fprintf(stderr, "quorvel receive: from %s:%u failed, error code %d, POP error %u (%s)\n",
                 options.host.c_str(), options.port, error, progress.firstError,
                 PopErrorMeaning(progress.firstError));
    return ExitCodeOfFailure(progress.firstError, error);
  }
  if (progress.lostError != kPopNoError) {
    std::fprintf(stderr, "quorvel receive: message %u from %s:%u was not received: POP error %u (%s)\n",
                 progress.lostMessage, options.host.c_str(), options.port, progress.lostError,
                 PopErrorMeaning(progress.lostError));
    return ExitCodeOfFailure(progress.lostError, error);
  }
  if (mails.Size() == 0 && !options.quiet) std::printf("no mail waiting\n");
  return kExitOk;
}

}  // namespace quorvel::tool
