// Each writer logs an exception with its own location before passing it on,
// so the log shows which part of the message failed. Caller-given texts go
// into header lines through OneLineText, so none of them can start a header
// line of its own.
#include "mime/MimeLayout.h"

#include <cstdio>
#include <cstdlib>

#include "frame/LogEvents.h"
#include "mail/DerivedName.h"
#include "mail/LineSafety.h"
#include "mime/Base64.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string Delimiter() { return std::string("--") + kMimeBoundary; }

template <typename Body>
void LoggedAt(uint32_t location, Body body) {
  try {
    body();
  } catch (const std::exception& error) {
    LogException(location, error);
    throw;
  }
}

std::string ShownName(const std::string& name) {
  const size_t separator = name.find_last_of(platform::kPathSeparators);
  return OneLineText(separator == std::string::npos ? name : name.substr(separator + 1));
}

}  // namespace

std::string ZoneField(int localHour, int utcHour) {
  const int hours = (localHour - utcHour + 36) % 24 - 12;
  char field[8];
  std::snprintf(field, sizeof field, "%s%.2d00", hours < 0 ? "-" : "+", std::abs(hours));
  return field;
}

std::string DateLine(const platform::LocalDateTime& local) {
  const int utcMinuteOfDay = ((local.hour * 60 + local.minute - local.utcOffsetMinutes) % 1440 + 1440) % 1440;
  char line[80];
  std::snprintf(line, sizeof line, "Date: %s, %d %s %d %.2d:%.2d:%.2d %s",
                kDays[local.dayOfWeek % 7], local.day, kMonths[(local.month + 11) % 12], local.year,
                local.hour, local.minute, local.second,
                ZoneField(local.hour, utcMinuteOfDay / 60).c_str());
  return line;
}

void WriteHeaderBlock(MimeFile& file, const MailMessage& message, const std::string& dateLine) {
  LoggedAt(kLocationMimeHeader, [&] {
    const SmtpSettings& sender = message.Sender();
    file.WriteLine("From: \"" + OneLineText(DerivedName("", sender.name)) + "\" <" +
                   OneLineText(sender.address) + ">");
    file.WriteLine("To: <" + OneLineText(message.recipient) + ">");
    if (message.cc.size() >= 2) file.WriteLine("Cc: <" + OneLineText(message.cc) + ">");
    file.WriteLine("Subject: " + OneLineText(message.subject));
    file.WriteLine(dateLine);
    if (!message.attachmentNames.empty()) {
      file.WriteLine("MIME-Version: 1.0");
      file.WriteLine(message.alternative ? "Content-Type: multipart/alternative;"
                                         : "Content-Type: multipart/mixed;");
      file.WriteLine(std::string("\tboundary=\"") + kMimeBoundary + "\"");
    }
    file.WriteLine("X-Priority: 3");
    file.WriteLine("X-MSMail-Priority: Normal");
    file.WriteLine(std::string("X-Mailer: ") + kMailerName);
    file.WriteLine("");
  });
}

void WriteTextPart(MimeFile& file, const MailMessage& message) {
  LoggedAt(kLocationMimeText, [&] {
    if (!message.attachmentNames.empty()) {
      file.WriteLine("This is a multi-part message in MIME format.");
      file.WriteLine(" ");
      file.WriteLine(Delimiter());
      file.WriteLine("Content-Type: text/plain;");
      file.WriteLine("\tcharset=\"" + message.charset + "\"");
      file.WriteLine("Content-Transfer-Encoding: 8bit");
      file.WriteLine("");
    }
    file.WriteLine(message.body);
    file.WriteLine("");
  });
}

void WriteAttachmentParts(MimeFile& file, const MailMessage& message) {
  LoggedAt(kLocationMimeAttachments, [&] {
    bool anyWritten = false;
    std::string encoded;
    for (size_t i = 0; i < message.attachmentNames.size(); ++i) {
      const std::string& name = message.attachmentNames[i];
      const std::string& source = message.attachmentSources[i];
      if (!Base64EncodeFile(source.empty() ? name : source, encoded)) continue;
      const std::string shown = ShownName(name);
      const bool htmlBody = message.alternative && i == 0;
      file.WriteLine(Delimiter());
      file.WriteLine(htmlBody ? "Content-Type: text/html;" : "Content-Type: application/octet-stream;");
      file.WriteLine("\tname=\"" + shown + "\"");
      file.WriteLine("Content-Transfer-Encoding: base64");
      if (!htmlBody) {
        file.WriteLine("Content-Disposition: attachment;");
        file.WriteLine("\tfilename=\"" + shown + "\"");
      }
      file.WriteLine("");
      file.WriteLine(encoded);
      file.WriteLine("");
      anyWritten = true;
    }
    if (anyWritten) file.WriteLine(Delimiter() + "--");
  });
}

}  // namespace quorvel
