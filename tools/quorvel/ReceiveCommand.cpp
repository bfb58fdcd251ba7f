// quorvel receive --pop HOST[:PORT] --user U --password P --to DIR: fetches
// every waiting message into DIR through the library's exports, as a host
// does, with a progress bar, and prints one line per mail.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Commands.h"
#include "quorvel/quorvel.h"

namespace quorvel::tool {

namespace {

struct ReceiveOptions {
  std::string host;
  uint16_t port = 110;
  std::string user;
  std::string password;
  std::string directory;
};

bool ParseReceiveOptions(const Arguments& arguments, ReceiveOptions& options) {
  for (size_t i = 0; i + 1 < arguments.size(); i += 2) {
    const std::string& name = arguments[i];
    const std::string& value = arguments[i + 1];
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
    } else {
      return false;
    }
  }
  return arguments.size() % 2 == 0 && !options.host.empty() && !options.directory.empty();
}

void OnProgress(uint32_t event, uint32_t argument) {
  if (event == 11) std::fprintf(stderr, "\r  received %3u%%", argument);
  if (event == 29) std::fprintf(stderr, "\n");
}

}  // namespace

int RunReceive(const Arguments& arguments) {
  ReceiveOptions options;
  if (!ParseReceiveOptions(arguments, options)) {
    std::fprintf(stderr, "usage: quorvel receive %s\n", kReceiveUsage);
    return 2;
  }
  MTAddNew(nullptr);
  const CodedText noName;
  MailsUseSMTP_POP(options.host.c_str(), options.port, options.user.c_str(),
                   options.password.c_str(), "", 25, &noName, "", 0);
  MailsSetReceptionDirectory(options.directory.c_str());
  MailsSetCallback(OnProgress);
  MailDataList mails;
  const bool received = MailsReceiveMails(&mails);
  const int32_t error = MailsGetLastErrorCode();
  MTRemove();
  for (uint32_t i = 0; i < mails.Size(); ++i) {
    const MailData& mail = mails[i];
    std::printf("%s  from %s  \"%s\"  %zu attachment(s)\n", mail.filePath.c_str(),
                mail.from.c_str(), mail.subject.c_str(), mail.attachmentNames.size());
  }
  if (!received) {
    std::fprintf(stderr, "quorvel receive: failed, error code %d\n", error);
    return 1;
  }
  return 0;
}

}  // namespace quorvel::tool
