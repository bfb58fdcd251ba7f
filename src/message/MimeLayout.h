// The layout of an outgoing message: the header block, the text part and the
// base64 attachment parts, each written line by line into the message file.
// A message that is all ASCII and has no attachment declares no MIME
// structure; one with a byte above 0x7F in its subject, sender name or text,
// or with text unfit for 8bit, declares its text part and charset.
#pragma once

#include <string>

#include "protocol/SmtpSettings.h"
#include "message/MailMessage.h"
#include "message/MimeFile.h"
#include "message/TransferEncoding.h"
#include "platform/Clock.h"

namespace quorvel {

// The time-zone field of the Date line: the offset of local time from UTC,
// "+hhmm" or "-hhmm".
std::string ZoneField(int utcOffsetMinutes);
// "Date: " and the local time, e.g. "Date: Sun, 6 Dec 2026 03:28:20 +0000".
std::string DateLine(const platform::LocalDateTime& local);

// True when a message without attachments must declare its text part.
bool DeclaresItsText(const MailMessage& message, const TextScan& body);

// `body` is ScanText of the message's text, taken once for both writers.
void WriteHeaderBlock(MimeFile& file, const MailMessage& message, const TextScan& body,
                      const std::string& dateLine);
void WriteTextPart(MimeFile& file, const MailMessage& message, const TextScan& body);
void WriteAttachmentParts(MimeFile& file, const MailMessage& message);

}  // namespace quorvel
