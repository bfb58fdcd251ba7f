// Each message is parsed into part files of a private temporary name, turned
// into a record, written; only then is it deleted on the server. A message
// that cannot be stored stays on the server for the next receive.
#include "mail/ReceiveFunctions.h"

#include "frame/ContextTable.h"
#include "frame/ErrorCodes.h"
#include "mail/MailDataMove.h"
#include "protocol/SmtpSettings.h"
#include "text/LineEnds.h"
#include "message/MessageParser.h"
#include "protocol/PopClient.h"
#include "mail/PopFetch.h"
#include "protocol/PopSettings.h"
#include "platform/CodePages.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

void SetLastError(uint32_t code) {
  if (ThreadContext* context = CallingContext()) context->lastError = code;
}

}  // namespace

MailData RecordOfMessage(MailMessage& message) {
  MailData record;
  MailData* mail = &record;
  // The parser turned every text into the library's 8-bit strings.
  mail->codePage = static_cast<int32_t>(platform::AnsiCodePage());
  mail->from = message.notesSender;
  if (!message.recipient.empty()) mail->AddTo(message.recipient);
  MailData copies;
  if (!message.cc.empty()) copies.AddTo(message.cc);
  for (const std::string& copy : copies.to) mail->AddCopy(copy);
  mail->SetSubject(message.subject);
  // A text of CR LF lines already is handed over as it is, not copied.
  if (EndsEveryLineWithCrLf(message.body)) {
    mail->SetMessage(std::string());
    mail->message = std::move(message.body);
  } else {
    mail->SetMessage(message.body);
  }
  message.body.clear();
  for (size_t j = 0; j < message.attachmentNames.size(); ++j) {
    const int32_t kind = static_cast<int32_t>(j) == message.htmlBodyIndex ? MailData::kBodyHtml
                                                                          : MailData::kBodyText;
    mail->AddAttachment(platform::FileNameOf(message.attachmentNames[j]), message.attachmentSources[j],
                        kind);
  }
  return record;
}

bool WriteRecordOfMessage(MailMessage& message, std::optional<std::string_view> bodyInText,
                          const std::string& directory, MailData& record) {
  record = RecordOfMessage(message);
  return bodyInText ? WriteMailData(record, directory, true, *bodyInText, true)
                    : record.WriteToDirectory(directory, true);
}

bool ReceiveByPop(MailMessage& message, MailDataList& list, const std::string& directory) {
  PopClient client(message.clientWindow, CallingTransportSecurity(), CallingReceiveLimits());
  client.SetCallback(message.progressCallback);
  client.SetTimeout(message.timeoutMs);
  const PopSettings settings = CurrentPopSettings();
  if (!client.Connect(settings.host.c_str(), settings.port, settings.user.c_str(),
                      settings.password.c_str())) {
    message.errorCode = kErrorPopConnect;
    return false;
  }
  uint16_t count = 0;
  if (!client.GetMessageCount(count)) {
    message.errorCode = kErrorMessageNumbers;
    client.Quit();
    return false;
  }
  // The parts are written where they stay: the record takes them over by
  // renaming them.
  uint32_t knownNames = 0;
  std::vector<uint32_t> stored;
  std::vector<std::string> storedFiles;
  FetchEachMessage(client, count, message, directory, 0, [&](uint32_t number, const std::string*) {
    auto mail = std::make_unique<MailData>(RecordOfMessage(message));
    const bool written = WriteMailData(*mail, directory, true, mail->message, false, &knownNames);
    RemovePartFiles(message);
    if (!written) return;
    storedFiles.insert(storedFiles.end(), mail->attachmentFiles.begin(),
                       mail->attachmentFiles.end());
    storedFiles.push_back(mail->filePath);
    stored.push_back(number);
    list.Adopt(std::move(mail));
  });
  // The server forgets the deleted messages only at QUIT; no deletion is
  // even asked for before what the run stored is on the disk, all of it
  // synced at once.
  if (!stored.empty() && SyncToDisk(storedFiles)) {
    for (const uint32_t number : stored) client.Delete(number);
  }
  client.Quit();
  return true;
}

bool ReceiveMails(MailDataList& list) {
  const ThreadContext* context = CallingContext();
  MailMessage message(nullptr, nullptr, nullptr);
  SetLastError(kErrorNone);
  if (context == nullptr || context->popHost.empty()) return true;
  if (!platform::IsExistingDirectory(context->receptionDirectory)) {
    SetLastError(kErrorNoDirectory);
    return false;
  }
  switch (context->protocol) {
    case kProtocolSmtpPop:
      SetPopSettings(context->popHost, context->popPort, context->popUser, context->popPassword);
      break;
    case kProtocolMapi:
    case kProtocolNotes:
    case 4:
      break;
    default:
      SetLastError(kErrorNoProtocol);
      return false;
  }
  message.timeoutMs = context->receiveLimits.timeoutMs;
  message.SetClientWindow(context->clientWindow);
  message.SetProgressCallback(context->progressCallback);
  if (context->protocol != kProtocolSmtpPop) return true;
  if (ReceiveByPop(message, list, context->receptionDirectory)) return true;
  SetLastError(message.errorCode);
  return false;
}

bool GetMails(MailDataList& list) {
  SetLastError(kErrorNone);
  const ThreadContext* context = CallingContext();
  return list.LoadDirectory(context == nullptr ? std::string() : context->receptionDirectory);
}

void ForbidConnections(bool forbidden) {
  SmtpConnectionsForbidden() = forbidden;
  PopConnectionsForbidden() = forbidden;
}

}  // namespace quorvel
