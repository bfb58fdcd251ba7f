// The reader of received messages: fills a MailMessage with the sender, the
// recipients, the Cc addresses, the subject, the body text and the two
// attachment lists, saving every part that is not the body text as a file
// "~AT<n>.tmp" of its own, decoded. It reads real-world MIME (folded
// headers, any case, quoted-printable and base64, nested multiparts,
// forwarded messages, encoded words, LF-only lines) and is bounded against
// hostile input: nesting, parts and header sizes are capped, names never
// leave the target directory, nothing is printed.
#pragma once

#include <optional>
#include <string_view>

#include "mime/MailMessage.h"

namespace quorvel {

class ArrivingText;

inline constexpr int kMaxMimeDepth = 20;
inline constexpr size_t kMaxMimeParts = 1000;

// Always true. `directory` (the temporary directory when null) receives the
// part files; without `split` no part is saved.
bool ParseMessage(MailMessage& message, std::string_view text, const char* directory, bool split);
// The same without copying a body text that needs neither decoding nor
// charset conversion: `bodyInText` then receives it as a part of `text`
// (its final line ends cut off, as always) and message.body stays empty.
// Otherwise `bodyInText` is empty and message.body holds the body text.
bool ParseMessageInPlace(MailMessage& message, std::string_view text, const char* directory,
                         bool split, std::optional<std::string_view>& bodyInText);
// ParseMessage of a text that is still arriving, read as far as it has
// come: the same fields and part files once it is complete. Throws
// ArrivalAbandoned when the text is abandoned (no part file of it is left
// then beyond those listed in the message).
bool ParseArrivingMessage(MailMessage& message, ArrivingText& arriving, const char* directory,
                          bool split);
// Saves one leaf part (its headers and body) decoded and lists it; false when
// it has no body or its file cannot be written.
bool ProcessAttachedPart(MailMessage& message, std::string_view part, const char* directory);

// A file name from the network made harmless: no directory part, no "." or
// "..", no control characters, at most 200 bytes; "" when nothing is left.
std::string SafeFileName(std::string_view name);

}  // namespace quorvel
