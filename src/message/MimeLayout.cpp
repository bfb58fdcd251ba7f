// Each writer logs an exception with its own location before passing it on,
// so the log shows which part of the message failed. Caller-given texts go
// into header lines through OneLineText, so none of them can start a header
// line of its own.
#include "message/MimeLayout.h"

#include <cstdio>
#include <cstdlib>

#include "frame/LogEvents.h"
#include "text/DerivedName.h"
#include "text/LineSafety.h"
#include "text/Base64.h"
#include "message/EncodedHeaders.h"
#include "message/MessageId.h"
#include "message/TransferEncoding.h"
#include "platform/FileSystem.h"
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
  return OneLineText(platform::FileNameOf(name));
}

std::string SenderName(const SmtpSettings& sender) { return OneLineText(DerivedName("", sender.name)); }

// The address goes on the last line of the encoded name when it fits there.
std::string FromLine(const std::string& name, const std::string& address, const std::string& charset) {
  const std::string angled = "<" + OneLineText(address) + ">";
  if (!HasEightBitBytes(name)) return "From: \"" + name + "\" " + angled;
  const std::string words = EncodedWords(name, charset, 6, 0);
  const size_t newline = words.rfind('\n');
  const size_t lastLine = newline == std::string::npos ? 6 + words.size() : words.size() - newline - 1;
  return "From: " + words + (lastLine + 1 + angled.size() <= kMaxHeaderLine ? " " : "\r\n ") + angled;
}

std::string SubjectLine(const std::string& subject, const std::string& charset) {
  const std::string text = OneLineText(subject);
  return "Subject: " + (HasEightBitBytes(text) ? EncodedWords(text, charset, 9, 0) : text);
}

// The name parameters of an attachment part. A name that is not ASCII gets
// encoded words inside the quotes of name= as well, for readers that know
// no RFC 2231.
std::string NameParameter(const std::string& shown, const std::string& charset) {
  if (!HasEightBitBytes(shown)) return "\tname=\"" + shown + "\"";
  return "\tname=\"" + EncodedWords(shown, charset, 7, 1) + "\"";
}

std::string FileNameParameter(const std::string& shown, const std::string& charset) {
  if (!HasEightBitBytes(shown)) return "\tfilename=\"" + shown + "\"";
  return ExtendedParameter("filename", shown, charset);
}

void WriteTextHeaders(MimeFile& file, const MailMessage& message, const TextScan& body) {
  file.WriteLine("Content-Type: text/plain;");
  file.WriteLine("\tcharset=\"" + message.charset + "\"");
  file.WriteLine(std::string("Content-Transfer-Encoding: ") + TransferEncodingOf(body));
}

// A file that exists and holds nothing: sent as an empty attachment.
bool IsEmptyFile(const std::string& path) { return platform::FileLength(path).value_or(1) == 0; }

}  // namespace

std::string ZoneField(int utcOffsetMinutes) {
  const int minutes = std::abs(utcOffsetMinutes);
  char field[16];
  std::snprintf(field, sizeof field, "%s%.2d%.2d", utcOffsetMinutes < 0 ? "-" : "+",
                minutes / 60 % 100, minutes % 60);
  return field;
}

std::string DateLine(const platform::LocalDateTime& local) {
  char line[80];
  std::snprintf(line, sizeof line, "Date: %s, %d %s %d %.2d:%.2d:%.2d %s",
                kDays[local.dayOfWeek % 7], local.day, kMonths[(local.month + 11) % 12], local.year,
                local.hour, local.minute, local.second, ZoneField(local.utcOffsetMinutes).c_str());
  return line;
}

bool DeclaresItsText(const MailMessage& message, const TextScan& body) {
  return HasEightBitBytes(message.subject) || HasEightBitBytes(SenderName(message.Sender())) ||
         body.eightBit || body.needsQuotedPrintable;
}

void WriteHeaderBlock(MimeFile& file, const MailMessage& message, const TextScan& body,
                      const std::string& dateLine) {
  LoggedAt(kLocationMimeHeader, [&] {
    const SmtpSettings& sender = message.Sender();
    file.WriteLine(FromLine(SenderName(sender), sender.address, message.charset));
    file.WriteLine("To: <" + OneLineText(message.recipient) + ">");
    if (message.cc.size() >= 2) file.WriteLine("Cc: <" + OneLineText(message.cc) + ">");
    file.WriteLine(SubjectLine(message.subject, message.charset));
    file.WriteLine(dateLine);
    file.WriteLine("Message-ID: " + NewMessageId(sender.address));
    if (!message.attachmentNames.empty()) {
      file.WriteLine("MIME-Version: 1.0");
      file.WriteLine(message.alternative ? "Content-Type: multipart/alternative;"
                                         : "Content-Type: multipart/mixed;");
      file.WriteLine(std::string("\tboundary=\"") + kMimeBoundary + "\"");
    } else if (DeclaresItsText(message, body)) {
      file.WriteLine("MIME-Version: 1.0");
      WriteTextHeaders(file, message, body);
    }
    file.WriteLine("X-Priority: 3");
    file.WriteLine("X-MSMail-Priority: Normal");
    file.WriteLine(std::string("X-Mailer: ") + kMailerName);
    file.WriteLine("");
  });
}

void WriteTextPart(MimeFile& file, const MailMessage& message, const TextScan& body) {
  LoggedAt(kLocationMimeText, [&] {
    if (!message.attachmentNames.empty()) {
      file.WriteLine("This is a multi-part message in MIME format.");
      file.WriteLine(" ");
      file.WriteLine(Delimiter());
      WriteTextHeaders(file, message, body);
      file.WriteLine("");
    }
    file.WriteLine(body.needsQuotedPrintable ? EncodeQuotedPrintable(message.body) : message.body);
    file.WriteLine("");
  });
}

void WriteAttachmentParts(MimeFile& file, const MailMessage& message) {
  LoggedAt(kLocationMimeAttachments, [&] {
    bool anyWritten = false;
    for (size_t i = 0; i < message.attachmentNames.size(); ++i) {
      const std::string& name = message.attachmentNames[i];
      const std::string& source = message.attachmentSources[i];
      const std::string& path = source.empty() ? name : source;
      // The part is written while the file is encoded; a file that turns
      // out unreadable takes its part back out, as if never begun.
      const uint64_t partStart = file.Size();
      const std::string shown = ShownName(name);
      const bool htmlBody = message.alternative && i == 0;
      file.WriteLine(Delimiter());
      file.WriteLine(htmlBody ? "Content-Type: text/html;" : "Content-Type: application/octet-stream;");
      file.WriteLine(NameParameter(shown, message.charset));
      file.WriteLine("Content-Transfer-Encoding: base64");
      if (!htmlBody) {
        file.WriteLine("Content-Disposition: attachment;");
        file.WriteLine(FileNameParameter(shown, message.charset));
      }
      file.WriteLine("");
      if (!Base64EncodeFileInPieces(path, [&](std::string_view text) { file.WriteRaw(text); }) &&
          !IsEmptyFile(path)) {
        file.TruncateTo(partStart);
        continue;
      }
      file.WriteLine("");
      anyWritten = true;
    }
    if (anyWritten) file.WriteLine(Delimiter() + "--");
  });
}

}  // namespace quorvel
