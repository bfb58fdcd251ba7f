// The reader of received messages on a whole text: fills a MailMessage with
// the sender, the recipients, the Cc addresses, the subject, the body text
// and the two attachment lists, saving every part that is not the body text
// as a file "~AT<n>.tmp" of its own, decoded. It reads real-world MIME
// (folded headers, any case, quoted-printable and base64, nested
// multiparts, forwarded messages, encoded words, LF-only lines) and is
// bounded against hostile input: nesting, parts and header sizes are
// capped, names never leave the target directory, nothing is printed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "message/MailMessage.h"
#include "message/StreamingParser.h"

namespace quorvel {

// Always true. `directory` (the temporary directory when null) receives the
// part files; without `split` no part is saved.
bool ParseMessage(MailMessage& message, std::string_view text, const char* directory, bool split);
// The same without copying a body text that needs neither decoding nor
// charset conversion: `bodyInText` then receives it as a part of `text`
// (its final line ends cut off, as always) and message.body stays empty.
// Otherwise `bodyInText` is empty and message.body holds the body text.
bool ParseMessageInPlace(MailMessage& message, std::string_view text, const char* directory,
                         bool split, std::optional<std::string_view>& bodyInText);

// A file name from the network made harmless: no directory part, no "." or
// "..", no control characters, at most 200 bytes; "" when nothing is left.
std::string SafeFileName(std::string_view name);
// Deletes the part files a parse saved.
void RemovePartFiles(const MailMessage& message);

}  // namespace quorvel
