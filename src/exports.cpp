// The exported function table: thin wrappers that find the caller's context
// and run the layer's operation inside the export guard.
#include "quorvel/quorvel.h"

#include "exchange/TutorReplyFile.h"
#include "exchange/UserDataSet.h"
#include "frame/ContextSettings.h"
#include "frame/ContextTable.h"
#include "frame/ErrorCodes.h"
#include "frame/ExportGuard.h"
#include "frame/Library.h"
#include "frame/LogTable.h"
#include "frame/ReceiveLimits.h"
#include "frame/TransportSecurity.h"
#include "mailbox/ExchangeOperations.h"
#include "mailbox/ItemFiles.h"
#include "mailbox/ItemQueries.h"
#include "mailbox/InboundProtocols.h"
#include "mailbox/ItemRemoval.h"
#include "mailbox/MailWriting.h"
#include "mailbox/MailboxContext.h"
#include "mailbox/OutboundSending.h"
#include "mailbox/Receiving.h"
#include "mail/SendFunctions.h"
#include "mail/SmtpDiscovery.h"
#include "mail/ThreadedSend.h"
#include "mail/ReceiveFunctions.h"
#include "platform/Sockets.h"
#include "platform/Threads.h"

using namespace quorvel;

namespace {

// Host values passed by pointer; null stands for the empty value.
template <typename T>
T ValueOr(const T* value, const T& none = T()) {
  return value != nullptr ? *value : none;
}

std::string TextOr(const char* text) { return text != nullptr ? text : ""; }

// Load and unload of the shared library.
struct LibraryLifetime {
  LibraryLifetime() { OnLibraryLoad(); }
  ~LibraryLifetime() {
    OnLibraryUnload();
    platform::ReleaseCancelQueues();
  }
} lifetime;

}  // namespace

extern "C" {

int32_t MTAddNew(MutexHandle hostMutex) {
  return Guarded<int32_t>(0, [&] {
    const uint32_t thread = platform::CurrentThreadId();
    if (!Contexts().AddNew(thread, hostMutex)) return 0;
    platform::OpenCancelQueue(thread);  // MailsCancelBlockingCall reaches it now
    return 1;
  });
}

int32_t MTRemove() {
  return Guarded<int32_t>(0, [] {
    const uint32_t thread = platform::CurrentThreadId();
    platform::CloseCancelQueue(thread);
    return Contexts().Remove(thread);
  });
}

int32_t MailsGetLastErrorCode() {
  return Guarded<int32_t>(0, [] {
    const ThreadContext* context = CallingContext();
    return context == nullptr ? 0 : static_cast<int32_t>(context->lastError);
  });
}

bool MailsUseMAPI() {
  return Guarded(true, [] { return UseProtocol(CallingContext(), kProtocolMapi); });
}

bool MailsUseNOTES() {
  return Guarded(true, [] { return UseProtocol(CallingContext(), kProtocolNotes); });
}

bool MailsUseSMTP_POP(const char* popHost, uint16_t popPort, const char* popUser,
                      const char* popPassword, const char* smtpHost, uint16_t smtpPort,
                      const CodedText* senderName, const char* mimeDirectory, uint8_t mimeFlag) {
  return Guarded(false, [&] {
    const SmtpPopParameters parameters{popHost,  popPort,    popUser,       popPassword, smtpHost,
                                       smtpPort, senderName, mimeDirectory, mimeFlag};
    return UseSmtpPop(CallingContext(), parameters);
  });
}

bool MailsSetReceptionDirectory(const char* directory) {
  return Guarded(false, [&] { return SetReceptionDirectory(CallingContext(), directory); });
}

bool MailsSetOutDirectory(const char* directory) {
  return Guarded(false, [&] { return SetOutDirectory(CallingContext(), directory); });
}

bool MailsSetSentDirectory(const char* directory) {
  return Guarded(false, [&] { return SetSentDirectory(CallingContext(), directory); });
}

void MailsSetClientWindow(WindowHandle window) {
  GuardedVoid([&] { SetClientWindow(CallingContext(), window); });
}

void MailsSetCallback(ProgressCallback callback) {
  GuardedVoid([&] { SetProgressCallback(CallingContext(), callback); });
}

int32_t MailsGetPercentSent() {
  return Guarded<int32_t>(-1, [] {
    const ThreadContext* context = CallingContext();
    return context == nullptr ? -1 : context->percentSent.load();
  });
}

void MailsInitializexLogFile(CxThreadObjects* table) {
  GuardedVoid([&] { InitializeLogTable(table); });
}

bool TessalyGetUserDefaultSMTPParams(std::string* host, uint16_t* port, std::string* address,
                                     std::string* name) {
  return Guarded(false, [&] {
    return CallingContext() != nullptr && GetUserDefaultSmtpParams(host, port, address, name);
  });
}

bool TessalyOpenMailBox(const char* baseDirectory, const char* name) {
  return Guarded(false, [&] { return OpenContextMailbox(baseDirectory, name); });
}

uint32_t TessalySetDllLockingMode(uint32_t mode) {
  return Guarded<uint32_t>(0, [&] { return SetLockingMode(CallingContext(), mode); });
}

bool TessalyPupilQv6IsValid(const char* path, CodedText* reference) {
  return Guarded(false, [&] {
    CodedText found;
    const bool valid = path != nullptr && exchange::CheckTutorReplyFile(path, found);
    if (reference != nullptr) *reference = valid ? found : CodedText::Default();
    return valid;
  });
}

bool TessalyPupilWriteMail(uint32_t number, const CodedText* reference,
                           const CodedText* correspondent, uint8_t fileOnlyFlag,
                           uint8_t indexFlagA, const WideString* markupText,
                           const ArchivedU32* options, uint8_t indexFlagB, const char* noteA,
                           const char* noteB, const std::vector<std::string>* attachments,
                           const std::vector<std::string>* trackingFiles,
                           const std::vector<std::string>* diagnosticFiles,
                           const std::string* optionsIniFile, const std::string* recipient,
                           uint32_t answeredIndex) {
  return Guarded(false, [&] {
    exchange::PupilMailContent mail;
    mail.message.number = number;
    mail.message.reference = ValueOr(reference, CodedText::Default());
    mail.message.correspondent = ValueOr(correspondent, CodedText::Default());
    mail.message.messageFlagC = fileOnlyFlag;
    mail.message.messageFlagA = indexFlagA;
    mail.message.text = ValueOr(markupText);
    mail.message.options = ValueOr(options);
    mail.message.messageFlagB = indexFlagB;
    mail.message.noteA = TextOr(noteA);
    mail.message.noteB = TextOr(noteB);
    mail.attachments = ValueOr(attachments);
    mail.tracking = ValueOr(trackingFiles);
    mail.diagnostic = ValueOr(diagnosticFiles);
    mail.optionsIni = ValueOr(optionsIniFile);
    return PupilWriteMail(CallingContext(), mail, ValueOr(recipient), answeredIndex);
  });
}

bool TessalyAddNewMail(const char* path, const std::vector<std::string>* recipients,
                       const CodedTextArray* names) {
  return Guarded(false, [&] {
    return path != nullptr && recipients != nullptr &&
           AddNewMail(CallingContext(), path, *recipients, ValueOr(names));
  });
}

bool TessalyTutorReplyToMail(uint32_t number, const CodedText* correspondent,
                             const WideString* markupText,
                             const std::vector<std::string>* attachments, uint32_t answeredIndex,
                             const std::string* recipient) {
  return Guarded(false, [&] {
    exchange::TutorReplyContent reply;
    reply.number = number;
    reply.correspondent = ValueOr(correspondent, CodedText::Default());
    reply.text = ValueOr(markupText);
    reply.attachments = ValueOr(attachments);
    return TutorReplyToMail(CallingContext(), reply, answeredIndex, ValueOr(recipient));
  });
}

int32_t TessalyGetNbAttachments(uint32_t itemIndex) {
  return Guarded<int32_t>(-1, [&] { return CountAttachments(CallingContext(), itemIndex); });
}

bool TessalyGetAttachment(uint32_t itemIndex, int32_t attachmentIndex, CodedText* name,
                          const char* targetPath) {
  return Guarded(false, [&] {
    return GetAttachment(CallingContext(), itemIndex, attachmentIndex, name, targetPath);
  });
}

bool TessalyGetNbUserData(uint32_t itemIndex, uint16_t* trackingCount, uint16_t* diagnosticCount,
                          uint16_t* optionsIniPresent, uint16_t* learningPathCount,
                          uint16_t* optionsUpdPresent) {
  return Guarded(false, [&] {
    return GetUserDataCounts(CallingContext(), itemIndex,
                             {trackingCount, diagnosticCount, optionsIniPresent,
                              learningPathCount, optionsUpdPresent});
  });
}

bool TessalyGetUserTrackingFile(uint32_t itemIndex, int32_t fileIndex, CodedText* name,
                                const char* targetPath) {
  return Guarded(false, [&] {
    return GetUserDataListFile(CallingContext(), itemIndex, exchange::UserDataSet::kTagTracking,
                               fileIndex, name, targetPath);
  });
}

bool TessalyGetUserDiagFile(uint32_t itemIndex, int32_t fileIndex, CodedText* name,
                            const char* targetPath) {
  return Guarded(false, [&] {
    return GetUserDataListFile(CallingContext(), itemIndex, exchange::UserDataSet::kTagDiagnostic,
                               fileIndex, name, targetPath);
  });
}

bool TessalyGetUserLearningPathFile(uint32_t itemIndex, int32_t fileIndex, CodedText* name,
                                    const char* targetPath) {
  return Guarded(false, [&] {
    return GetUserDataListFile(CallingContext(), itemIndex,
                               exchange::UserDataSet::kTagLearningPath, fileIndex, name, targetPath);
  });
}

bool TessalyGetUserOptionsIniFile(uint32_t itemIndex, CodedText* name, const char* targetPath) {
  return Guarded(false, [&] {
    return GetUserOptionsFile(CallingContext(), itemIndex, exchange::UserDataSet::kTagOptionsIni,
                              name, targetPath);
  });
}

bool TessalyGetUserOptionsUpdFile(uint32_t itemIndex, CodedText* name, const char* targetPath) {
  return Guarded(false, [&] {
    return GetUserOptionsFile(CallingContext(), itemIndex, exchange::UserDataSet::kTagOptionsUpd,
                              name, targetPath);
  });
}

IndexEntry* TessalyGetItemAtIndex(uint32_t itemIndex) {
  return Guarded<IndexEntry*>(nullptr, [&] { return ItemAtIndex(CallingContext(), itemIndex); });
}

IndexEntry* TessalyGetItemAtId(uint32_t id) {
  return Guarded<IndexEntry*>(nullptr, [&] { return ItemAtId(CallingContext(), id); });
}

int32_t TessalyGetSourceId(uint32_t id) {
  return Guarded<int32_t>(-1, [&] { return SourceIdOf(CallingContext(), id); });
}

int32_t TessalyGetParentId(uint32_t id) {
  return Guarded<int32_t>(-1, [&] { return ParentIdOf(CallingContext(), id); });
}

int32_t TessalyGetParentIndex(uint32_t id) {
  return Guarded<int32_t>(-1, [&] { return ParentIndexOf(CallingContext(), id); });
}

int16_t TessalyGetItemAttributes(uint32_t itemIndex) {
  return Guarded<int16_t>(-1, [&] { return AttributesAt(CallingContext(), itemIndex); });
}

bool TessalyChangeItemAttributes(uint32_t itemIndex, uint16_t setBits, int32_t clearBits) {
  return Guarded(false, [&] {
    return ChangeAttributesAt(CallingContext(), itemIndex, setBits, clearBits);
  });
}

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
TimeValue TessalyGetDate(uint32_t itemIndex) {
  return TimeValue(Guarded<uint32_t>(0, [&] { return DateAt(CallingContext(), itemIndex); }));
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

int32_t TessalyGetMessageType(uint32_t itemIndex) {
  return Guarded<int32_t>(kNoMessageType, [&] { return MessageTypeAt(CallingContext(), itemIndex); });
}

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
HandedWideString TessalyGetItemMessageText(uint32_t itemIndex) {
  return Guarded(HandedWideString(), [&] {
    return HandedWideString(MessageTextAt(CallingContext(), itemIndex));
  });
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

bool TessalySendMails() {
  return Guarded(false, [] { return SendQueuedItems(CallingContext()); });
}

IndexEntryArray* TessalyGetSentItems() {
  return Guarded<IndexEntryArray*>(nullptr, [] { return SentItemsOf(CallingContext()); });
}

IndexEntryArray* TessalyGetNotSentItems() {
  return Guarded<IndexEntryArray*>(nullptr, [] { return NotSentItemsOf(CallingContext()); });
}

void TessalyChangeOutProtocolForUnsentMessages(const char* newRoute, const char* oldRoute) {
  GuardedVoid([&] { ChangeOutRoutes(CallingContext(), newRoute, oldRoute); });
}

bool TessalyThreadedSendMails(CompletionCallback callback, uint32_t userValue) {
  return Guarded(false, [&] { return ThreadedSendItems(callback, userValue); });
}

bool TessalyThreadedReceiveMails(CompletionCallback callback, uint32_t userValue) {
  return Guarded(false, [&] { return ThreadedReceiveItems(callback, userValue); });
}

bool TessalyThreadedReceiveAndSendMails(CompletionCallback callback, uint32_t userValue) {
  return Guarded(false, [&] { return ThreadedReceiveAndSendItems(callback, userValue); });
}

void TessalyAddProtocolPopIn(const char* host, uint16_t port, const char* user,
                             const char* password) {
  GuardedVoid([&] {
    AddPopInProtocol(CallingContext(), TextOr(host), port, TextOr(user), TextOr(password));
  });
}

void TessalyAddProtocolHttpIn(const char* firstKeptText, uint16_t port,
                              const char* secondKeptText) {
  GuardedVoid([&] {
    AddHttpInProtocol(CallingContext(), TextOr(firstKeptText), port, TextOr(secondKeptText));
  });
}

void TessalyAddProtocolFileIn(const char* directory) {
  GuardedVoid([&] { AddFileInProtocol(CallingContext(), TextOr(directory)); });
}

bool TessalyReceiveMails() {
  return Guarded(false, [] { return ReceiveMails(CallingContext()); });
}

bool TessalyRemoveMailAtIndex(uint32_t itemIndex) {
  return Guarded(false, [&] { return RemoveMailAtIndex(CallingContext(), itemIndex); });
}

bool TessalyRemoveMailsAtIndexes(std::string indexes) {
  return Guarded(false, [&] { return RemoveMailsAtIndexes(CallingContext(), indexes); });
}

bool MailsCancelBlockingCall(uint32_t threadId) {
  return Guarded(false, [&] { return platform::PostSocketCancel(threadId); });
}

bool MailsSetSmtpSecurity(uint32_t tlsMode, const char* user, const char* password,
                          const char* oauthToken) {
  return Guarded(false, [&] {
    return SetSmtpSecurity(CallingContext(), tlsMode, user, password, oauthToken);
  });
}

bool MailsSetPopSecurity(uint32_t tlsMode, uint8_t allowClearTextPassword) {
  return Guarded(false, [&] {
    return SetPopSecurity(CallingContext(), tlsMode, allowClearTextPassword != 0);
  });
}

bool MailsSetPopLimits(uint32_t timeoutMilliseconds, uint64_t largestMessage) {
  return Guarded(false, [&] {
    return SetReceiveLimits(CallingContext(), timeoutMilliseconds, largestMessage);
  });
}

bool MailsSetPopOAuthToken(const char* oauthToken) {
  return Guarded(false, [&] { return SetPopOAuthToken(CallingContext(), oauthToken); });
}

bool MailsSetOAuthTokenCallback(OAuthTokenCallback callback, uint32_t userValue) {
  return Guarded(false, [&] { return SetOAuthTokenCallback(CallingContext(), callback, userValue); });
}

bool MailsSetTlsTrust(const char* caFile, uint8_t verifyCertificates) {
  return Guarded(false, [&] { return SetTlsTrust(CallingContext(), caFile, verifyCertificates != 0); });
}

bool MailsSendMailFromMailData(MailData* mail) {
  return Guarded(false, [&] {
    if (mail != nullptr) return SendMailFromMailData(*mail);
    SetCallersLastError(kErrorMailDataFile);
    return false;
  });
}

bool MailsSendMailFromFile(const char* path) {
  return Guarded(false, [&] { return SendMailFromFile(path); });
}

bool MailsSendMails(const char* directory) {
  return Guarded(true, [&] { return SendMails(directory); });
}

bool MailsThreadedSendMail(MailData* mail, CompletionCallback callback, uint32_t userValue) {
  return Guarded(false, [&] {
    if (mail != nullptr) return ThreadedSendMail(mail, callback, userValue);
    SetCallersLastError(kErrorMailDataFile);
    return false;
  });
}

bool MailsStopThreadedSend() {
  return Guarded(false, [] { return StopThreadedSend(); });
}

bool MailsSuspendThreadedSend() {
  return Guarded(false, [] { return SuspendThreadedSend(); });
}

bool MailsResumeThreadedSend() {
  return Guarded(false, [] { return ResumeThreadedSend(); });
}

// The system has no error code for a missing list: the last error is reset.
bool MailsReceiveMails(MailDataList* list) {
  return Guarded(false, [&] {
    if (list != nullptr) return ReceiveMails(*list);
    SetCallersLastError(kErrorNone);
    return false;
  });
}

bool MailsGetMails(MailDataList* list) {
  return Guarded(false, [&] {
    if (list != nullptr) return GetMails(*list);
    SetCallersLastError(kErrorNone);
    return false;
  });
}

void MailsAuthorizeConnection() {
  GuardedVoid([] { ForbidConnections(false); });
}

void MailsForbidConnection() {
  GuardedVoid([] { ForbidConnections(true); });
}

}  // extern "C"
