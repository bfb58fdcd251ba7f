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
#include "protocol/SmtpClient.h"
#include "text/Charset.h"
#include "message/MimeLayout.h"
#include "message/TransferEncoding.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Sockets.h"

namespace quorvel {

namespace {

bool IsEmpty(const char* text) { return text == nullptr || *text == '\0'; }

std::string FileNameOf(const std::string& path) {
  const size_t separator = path.find_last_of(platform::kPathSeparators);
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

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

// The message is composed in memory; only one that outgrows kComposedInMemory
// goes to a file, named as ComposeToFile names it. One that must stay in
// `directory` (after a stop or a failed delivery) is written out there then.
bool MailMessage::SendBySmtp(bool probe, const char* directory, bool /*copy*/) {
  serverReply.clear();
  if (Stopped()) return false;
  if (directory != nullptr && !platform::IsExistingDirectory(directory)) {
    errorCode = kErrorMimeCreation;
    return false;
  }
  std::string path;
  std::optional<MimeFile> composed(std::in_place, kComposedInMemory, [&] {
    path = UniqueTempName("eml", directory == nullptr ? "" : directory);
    return platform::File::Open(path, platform::FileAccess::Write, platform::FileShare::DenyWrite,
                                platform::FileDisposition::CreateAlways);
  });
  const auto keepIfAsked = [&] {
    if (directory != nullptr && composed->InMemory()) composed->Close();
  };
  bool delivered = false;
  try {
    if (!ComposeInto(*composed)) {
      keepIfAsked();  // what was written so far
    } else {
      if (!composed->InMemory()) composed->Close();
      delivered = DeliverBySmtp(probe, *composed, path);
      if (!delivered) keepIfAsked();
    }
  } catch (const std::exception& error) {
    LogException(kLocationCompose, error);
    errorCode = kErrorMimeCreation;
    directory = nullptr;  // no part of a message that could not be written stays
  }
  composed.reset();
  if (!path.empty() && (delivered || directory == nullptr)) platform::RemoveFile(path);
  return delivered;
}

bool MailMessage::DeliverBySmtp(bool probe, const MimeFile& composed, const std::string& path) {
  if (SmtpConnectionsForbidden().load()) return false;
  if (Stopped()) return false;
  if (probe) platform::LocalHostAddress();
  if (Stopped()) return false;
  if (usesDefaultSender && !DefaultSmtpSettings().valid &&
      !SetDefaultSmtpSettings(nullptr, nullptr, 0, nullptr)) {
    errorCode = kErrorNoSmtpSettingsFound;
    return false;
  }
  if (Stopped()) return false;
  const SmtpSettings sender = Sender();
  SmtpClient client(requests.stop, requests.suspend, percentSent);
  client.SetTimeout(timeoutMs);
  if (progressCallback != nullptr) client.SetCallback(progressCallback);
  if (clientWindow != nullptr) client.SetWindow(clientWindow);
  if (Stopped()) return false;
  if (!client.Connect(sender.host, sender.port)) {
    errorCode = kErrorSmtpConnect;
    serverReply = client.refusal();
    return false;
  }
  if (Stopped()) return false;
  const auto sendTo = [&](const std::string& address) {
    return composed.InMemory() ? client.SendMailData(sender.address, address, composed.Held())
                               : client.SendMailFile(sender.address, address, path);
  };
  if (!sendTo(recipient)) {
    errorCode = kErrorSendingFile;
    serverReply = client.refusal();
    return false;
  }
  if (cc.size() >= 2) sendTo(cc);
  if (Stopped()) return false;
  client.Disconnect();
  errorCode = kErrorNone;
  return true;
}

}  // namespace quorvel
