// The context is looked up again wherever it is used: a background worker
// reaches the same context through its own thread identifier.
#include "mail/SendFunctions.h"

#include <string>
#include <vector>

#include "text/WideText.h"
#include "frame/ContextTable.h"
#include "frame/ErrorCodes.h"
#include "frame/LogEvents.h"
#include "mail/MailDataMove.h"
#include "mail/DefaultSmtpSettings.h"
#include "message/MailMessage.h"
#include "platform/CodePages.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

void SetLastError(uint32_t code) {
  if (ThreadContext* context = CallingContext()) context->lastError = code;
}

uint32_t LastError() {
  const ThreadContext* context = CallingContext();
  return context == nullptr ? 0 : context->lastError.load();
}

// The mail's own sender name (UTF-8), else the context's. The own name is
// tagged with the mail's code page, so that it goes into the message in the
// charset of its other texts (Windows-1252 when the mail names no page).
CodedText SenderNameFor(const MailData& mail, const ThreadContext* context) {
  const bool namesAPage = mail.codePage > 0 && mail.codePage <= 0xFFFF;
  CodedText name(namesAPage ? static_cast<uint16_t>(mail.codePage) : platform::kCodePageWestern,
                 exchange::WideFromMultiByte(mail.senderName, platform::kCodePageUtf8));
  if (!name.text.IsEmpty()) return name;
  return context == nullptr ? CodedText() : context->senderName;
}

bool Deliver(MailMessage& message, uint32_t protocol, const std::string& mimeDirectory,
             uint8_t mimeFlag) {
  switch (protocol) {
    case kProtocolMapi: return message.SendByMapi();
    case kProtocolNotes: return message.SendByNotes();
    default:
      // The stored flag goes where it has no effect, as it never had one.
      return message.SendBySmtp(false, mimeDirectory.empty() ? nullptr : mimeDirectory.c_str(),
                                mimeFlag != 0);
  }
}

// `sentNames` carries what one move into the sent directory learnt about its
// taken names to the next (SendMails moves one mail after another there);
// `writtenAs` is what reading the mail's file found (MoveMailData).
bool SendAndFile(MailData& mail, uint32_t& sentNames, const WrittenAsRead& writtenAs) {
  const ThreadContext* context = CallingContext();
  const std::string outDirectory = context ? context->outDirectory : std::string();
  const std::string sentDirectory = context ? context->sentDirectory : std::string();
  std::string serverReply;
  if (DeliverMailData(mail, &serverReply)) {
    return sentDirectory.empty() || MoveMailData(mail, sentDirectory, sentNames, writtenAs);
  }
  SetLogValue(kKeyMessage, "MailsSendMailFromMailData " + ErrorMessageFor() +
                               (serverReply.empty() ? "" : ": " + serverReply));
  WriteLogEvent(kEventSendFailed);
  if (!outDirectory.empty()) {
    const uint32_t error = LastError();
    mail.MoveToDirectory(outDirectory);
    SetLastError(error);
  }
  return false;
}

}  // namespace

bool DeliverMailData(const MailData& mail, std::string* serverReply) {
  ThreadContext* context = CallingContext();
  MailMessage message(context ? &context->stopRequested : nullptr,
                      context ? &context->suspendRequested : nullptr,
                      context ? &context->percentSent : nullptr);
  const CodedText senderName = SenderNameFor(mail, context);
  SetLastError(kErrorNone);
  const uint32_t protocol = context ? context->protocol : kProtocolNone;
  const std::string smtpHost = context ? context->smtpHost : std::string();
  const uint16_t smtpPort = context ? context->smtpPort : 25;
  const std::string mimeDirectory = context ? context->mimeDirectory : std::string();
  const uint8_t mimeFlag = context ? context->mimeFlag : 0;
  if (protocol != kProtocolMapi && protocol != kProtocolNotes && protocol != kProtocolSmtpPop) {
    SetLastError(kErrorNoProtocol);
    return false;
  }
  // A record without recipients (a damaged or foreign file read as empty)
  // is never taken as sent.
  if (mail.to.empty()) {
    SetLastError(kErrorMailDataFile);
    return false;
  }
  if (protocol == kProtocolSmtpPop) {
    const std::string name = exchange::MultiByteOf(senderName);
    if (!SetDefaultSmtpSettings(smtpHost.c_str(), mail.from.c_str(), smtpPort, name.c_str())) {
      SetLastError(kErrorInitialisation);
      return false;
    }
    // The library-wide settings are the last sender's; this delivery keeps
    // its own, so that two threads sending at once never mix them.
    message.ownSender = SmtpSettings{smtpHost, mail.from, name, smtpPort, std::string()};
    message.usesDefaultSender = false;
  }
  if (context) {
    message.SetClientWindow(context->clientWindow);
    message.SetProgressCallback(context->progressCallback);
  }
  message.CharsetForCodePage(mail.codePage);
  message.SetSubject(mail.subject);
  message.SetBody(mail.message);
  for (size_t i = 0; i < mail.attachmentNames.size(); ++i) {
    const std::string& file = i < mail.attachmentFiles.size() ? mail.attachmentFiles[i] : "";
    // A missing file is left out; the delivery goes on without it.
    message.AddAttachment(mail.attachmentNames[i].c_str(), file.empty() ? nullptr : file.c_str(),
                          mail.IsBodyAttachment(static_cast<int32_t>(i)));
  }
  for (size_t i = 0; i < mail.to.size(); ++i) {
    message.SetRecipient(mail.to[i]);
    message.SetCc(i == 0 && !mail.copy.empty() ? mail.copy[0].c_str() : "");
    if (!Deliver(message, protocol, mimeDirectory, mimeFlag)) {
      SetLastError(message.errorCode);
      if (serverReply != nullptr) *serverReply = message.serverReply;
      return false;
    }
  }
  return true;
}

bool SendMailFromMailData(MailData& mail) {
  uint32_t sentNames = 0;
  return SendAndFile(mail, sentNames, std::nullopt);
}

bool SendMailFromFile(const char* path) {
  SetLastError(kErrorNone);
  if (path == nullptr || !platform::IsExistingFile(path)) {
    SetLastError(kErrorNoFileFound);
    return false;
  }
  MailData mail;
  // A file without recipients stays where it is.
  if (!mail.ReadFile(path) || mail.to.empty()) {
    SetLastError(kErrorMailDataFile);
    return false;
  }
  return SendMailFromMailData(mail);
}

bool SendMails(const char* directory) {
  SetLastError(kErrorNone);
  const ThreadContext* context = CallingContext();
  const bool keepsSentCopies = context != nullptr && !context->sentDirectory.empty();
  MailDataList list;
  // The records are not changed before their moves: what reading found
  // about their files holds for as long as the files keep their stamps.
  std::vector<WrittenAsRead> writtenAs;
  if (directory != nullptr) LoadMailDirectory(directory, list, &writtenAs);
  uint32_t sentNames = 0;
  for (size_t i = 0; !list.IsEmpty(); ++i) {
    if (list[0].to.empty()) {  // stays where it is, as MailsSendMailFromFile leaves it
      SetLastError(kErrorMailDataFile);
      list.RemoveAt(0, false);
      continue;
    }
    const bool sent = SendAndFile(list[0], sentNames, writtenAs[i]);
    // A sent mail's files leave the scanned directory: moved to the sent
    // directory already, or deleted here.
    list.RemoveAt(0, sent && !keepsSentCopies);
  }
  return true;
}

}  // namespace quorvel
