// quorvel send: its options and help, for both programs. With --mes the
// host sends a mail-data file through the exports (SendMesCommand.cpp);
// without, quorvel-core composes and delivers the message with the core
// (quorvel-core/SmtpSendCommand.cpp).
#include <cstdlib>
#include <string>

#include "Commands.h"

namespace quorvel::tool {

namespace {

int RunSend(const Invocation& invocation) {
  return invocation.Has("--mes") ? RunSendMes(invocation) : RunSendBySmtp(invocation);
}

}  // namespace

bool ParseHostAndPort(const std::string& text, std::string& host, uint16_t& port) {
  const size_t colon = text.rfind(':');
  host = text.substr(0, colon);
  if (colon == std::string::npos) return !host.empty();
  char* end = nullptr;
  const unsigned long number = std::strtoul(text.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || number == 0 || number > 65535) return false;
  port = static_cast<uint16_t>(number);
  return !host.empty();
}

const CommandDefinition kSendCommand = {
    "send", "", 0, 0,
    "compose one message and deliver it by SMTP, with a progress bar on a terminal",
    {
        {"--smtp", "HOST[:PORT]", "the SMTP server (port 25 when not given)", true},
        {"--from", "ADDR", "the sender's address (required without --mes)"},
        {"--to", "ADDR", "a recipient; each gets a delivery of its own (required without --mes)",
         false, true},
        {"--cc", "ADDR", "a copy address, sent along with the delivery of the --to at the same place",
         false, true},
        {"--subject", "TEXT", "the subject line"},
        {"--body-file", "FILE", "the message text (\"-\": standard input)"},
        {"--attach", "FILE", "a file to attach", false, true},
        {"--timeout", "MS", "how long to wait for each reply of the server (90000)"},
        {"--tls", "MODE", "starttls: upgrade the connection (required); implicit: TLS from the start"},
        {"--user", "NAME", "authenticate as NAME (only over TLS)"},
        {"--password-file", "FILE", "the password: the first line of FILE"},
        {"--oauth-token-file", "FILE",
         "an OAuth 2 access token instead of the password: the first line of FILE, read again "
         "when the server refuses it"},
        {"--ca-file", "FILE", "trust the certificates in FILE besides the system's"},
        {"--insecure", nullptr, "accept any server certificate (says so on standard error)"},
        {"--quiet", nullptr, "print nothing but errors"},
        {"--mes", "FILE", "send this mail-data file through the library's send exports instead"},
        {"--out", "DIR", "with --mes: where the mail goes when it is not sent"},
        {"--sent", "DIR", "with --mes: where the mail goes once sent"},
        {"--background", nullptr,
         "with --mes: send on the library's worker thread; Ctrl-C stops it; the tool then moves "
         "the mail's files into --sent or --out under their own names"},
    },
    RunSend,
    nullptr,
    "Each --to gets a delivery of its own; the i-th --cc is the copy of the i-th\n"
    "delivery. Subject, text and file names are UTF-8 and go out declared as\n"
    "such. When the server refuses the message, its reply line is printed with\n"
    "the error. --tls starttls upgrades the connection and refuses a server that\n"
    "does not offer it; --tls implicit speaks TLS from the first byte (port\n"
    "465). With --user the password is the first line of --password-file, and\n"
    "goes out only over TLS. The progress bar appears only when standard error\n"
    "is a terminal.\n",
};

}  // namespace quorvel::tool
