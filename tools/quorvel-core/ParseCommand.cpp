// quorvel parse FILE --to DIR: reads one message file as a server stores it
// (CR LF or LF line ends) and writes what the reader makes of it into DIR: a
// mail-data file and its attachment files. For looking at received mail.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "Commands.h"
#include "message/MessageParser.h"
#include "mail/ReceiveFunctions.h"
#include "platform/MappedFile.h"

namespace quorvel::tool {

int RunParse(const Arguments& arguments) {
  if (arguments.size() != 3 || arguments[1] != "--to") {
    std::fprintf(stderr, "usage: quorvel parse %s\n", kParseUsage);
    return 2;
  }
  // Mapped, not read: the message is looked at where it lies.
  const std::optional<platform::MappedFile> text = platform::MappedFile::Open(arguments[0]);
  if (!text) {
    std::fprintf(stderr, "quorvel parse: cannot read %s\n", arguments[0].c_str());
    return 1;
  }
  // A body text that needs no conversion goes from the mapped file straight
  // into the mail-data file, never copied.
  MailMessage message(nullptr, nullptr, nullptr);
  std::optional<std::string_view> bodyInText;
  ParseMessageInPlace(message, text->Bytes(), nullptr, true, bodyInText);
  MailData mail;
  const bool written = WriteRecordOfMessage(message, bodyInText, arguments[2], mail);
  RemovePartFiles(message);
  if (!written) {
    std::fprintf(stderr, "quorvel parse: cannot write into %s\n", arguments[2].c_str());
    return 1;
  }
  std::printf("%s  from %s  \"%s\"  %zu attachment(s)\n", mail.filePath.c_str(), mail.from.c_str(),
              mail.subject.c_str(), mail.attachmentNames.size());
  return 0;
}

}  // namespace quorvel::tool
