// The message is composed before the sender settings are checked: its From
// line carries whatever the settings held at composition time. A composed
// file that the host keeps no directory for is temporary: it never outlives
// the send, failed or not, so refused large messages pile up nowhere.
#include "message/MailMessage.h"

#include <memory>
#include <optional>

#include "frame/ErrorCodes.h"
#include "frame/LogEvents.h"
#include "frame/UniqueNames.h"
#include "text/Charset.h"
#include "message/MimeLayout.h"
#include "message/TransferEncoding.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

bool IsEmpty(const char* text) { return text == nullptr || *text == '\0'; }

using platform::FileNameOf;

}  // namespace

MailMessage::MailMessage(std::atomic<uint8_t>* stopRequested,
                         std::atomic<uint8_t>* suspendRequested, std::atomic<int32_t>* percent)
    : notesSender(DefaultSmtpSettings().settings.address),
      charset(CharsetNameForCodePage(0)),
      requests{stopRequested, suspendRequested},
      percentSent(percent) {}

void MailMessage::CharsetForCodePage(int32_t codePage) { charset = CharsetNameForCodePage(codePage); }

bool MailMessage::Stopped() {
  if (!StopRequestedAtCheckpoint(requests)) return false;
  errorCode = kErrorStopped;
  return true;
}

SmtpSettings MailMessage::Sender() const {
  return usesDefaultSender ? DefaultSmtpSettings().settings : ownSender;
}

bool MailMessage::AddAttachment(const char* name, const char* source, bool alternativeBody) {
  if (Stopped()) return false;
  if (IsEmpty(name)) {
    errorCode = kErrorProblemWithFile;
    return false;
  }
  const std::string file = IsEmpty(source) ? name : source;
  if (!platform::IsExistingFile(file)) {
    errorCode = kErrorProblemWithFile;
    return false;
  }
  attachmentNames.push_back(IsEmpty(source) ? std::string(name) : FileNameOf(name));
  attachmentSources.push_back(IsEmpty(source) ? std::string() : file);
  if (alternativeBody) alternative = true;
  errorCode = kErrorNone;
  return true;
}

void MailMessage::SetSender(const char* host, uint16_t port, const char* address, const char* name) {
  if (host == nullptr && port == 0 && address == nullptr) {
    usesDefaultSender = true;
    return;
  }
  const SmtpSettings defaults = DefaultSmtpSettings().settings;
  ownSender.host = IsEmpty(host) ? defaults.host : host;
  ownSender.port = port != 0 ? port : defaults.port;
  ownSender.address = IsEmpty(address) ? defaults.address : address;
  if (!IsEmpty(address)) notesSender = address;
  ownSender.name = IsEmpty(name) ? defaults.name : name;
  usesDefaultSender = false;
}

bool MailMessage::ComposeInto(MimeFile& file) {
  const TextScan bodyScan = ScanText(body);
  WriteHeaderBlock(file, *this, bodyScan, DateLine(platform::LocalNow()));
  if (Stopped()) return false;
  WriteTextPart(file, *this, bodyScan);
  if (Stopped()) return false;
  WriteAttachmentParts(file, *this);
  return true;
}

std::string MailMessage::ComposeToFile(const char* directory) {
  if (Stopped()) return std::string();
  const std::string path = UniqueTempName("eml", directory == nullptr ? "" : directory);
  std::unique_ptr<MimeFile> file;
  try {
    file = std::make_unique<MimeFile>(path);
    const bool composed = ComposeInto(*file);
    file->Close();  // a stop leaves what was written so far in the file
    if (composed) return path;
    if (directory == nullptr) platform::RemoveFile(path);
    return std::string();
  } catch (const std::exception& error) {
    LogException(kLocationCompose, error);
    errorCode = kErrorMimeCreation;
    file.reset();
    platform::RemoveFile(path);
    return std::string();
  }
}

}  // namespace quorvel
