// The layout of an outgoing message: the header block, the text part and the
// base64 attachment parts, each written line by line into the message file.
#pragma once

#include <string>

#include "mail/SmtpSettings.h"
#include "mime/MailMessage.h"
#include "mime/MimeFile.h"
#include "platform/Clock.h"

namespace quorvel {

// The time-zone field of the Date line: whole hours from the two hours of
// the same instant, ((local - UTC + 36) mod 24) - 12, as "+hh00" or "-hh00".
std::string ZoneField(int localHour, int utcHour);
// "Date: " and the local time, e.g. "Date: Sun, 6 Dec 2026 03:28:20 +0000".
std::string DateLine(const platform::LocalDateTime& local);

void WriteHeaderBlock(MimeFile& file, const MailMessage& message, const std::string& dateLine);
void WriteTextPart(MimeFile& file, const MailMessage& message);
void WriteAttachmentParts(MimeFile& file, const MailMessage& message);

}  // namespace quorvel
