// Delivery of a composed message by SMTP: the mail layer's part of
// MailMessage. The message is composed before the sender settings are
// checked, so its From line carries whatever the settings held at
// composition time; a composed file that the host keeps no directory for
// never outlives the send, failed or not.
#include <memory>
#include <optional>

#include "frame/ErrorCodes.h"
#include "frame/LogEvents.h"
#include "frame/TransportSecurity.h"
#include "frame/UniqueNames.h"
#include "mail/DefaultSmtpSettings.h"
#include "message/MailMessage.h"
#include "platform/FileSystem.h"
#include "platform/Sockets.h"
#include "protocol/SmtpClient.h"

namespace quorvel {

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
  SmtpClient client(requests.stop, requests.suspend, percentSent, CallingTransportSecurity());
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
