// The exported function table: thin wrappers that find the caller's context
// and run the layer's operation inside the export guard.
#include "quorvel/quorvel.h"

#include "frame/ContextSettings.h"
#include "frame/ContextTable.h"
#include "frame/ExportGuard.h"
#include "frame/Library.h"
#include "frame/LogTable.h"
#include "mail/SendFunctions.h"
#include "mail/SmtpDiscovery.h"
#include "mail/ThreadedSend.h"
#include "mime/ReceiveFunctions.h"
#include "platform/Sockets.h"
#include "platform/Threads.h"

using namespace quorvel;

namespace {

// Load and unload of the shared library.
struct LibraryLifetime {
  LibraryLifetime() { OnLibraryLoad(); }
  ~LibraryLifetime() { OnLibraryUnload(); }
} lifetime;

}  // namespace

extern "C" {

int32_t MTAddNew(MutexHandle mutex) {
  return Guarded<int32_t>(0, [&] {
    return Contexts().AddNew(platform::CurrentThreadId(), mutex) ? 1 : 0;
  });
}

int32_t MTRemove() {
  return Guarded<int32_t>(0, [] { return Contexts().Remove(platform::CurrentThreadId()); });
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
                      const CodedText* senderName, const char* mimeDirectory, uint8_t flag) {
  return Guarded(false, [&] {
    const SmtpPopParameters parameters{popHost,  popPort,    popUser,       popPassword, smtpHost,
                                       smtpPort, senderName, mimeDirectory, flag};
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

bool MailsCancelBlockingCall(uint32_t threadId) {
  return Guarded(false, [&] { return platform::PostSocketCancel(threadId); });
}

bool MailsSendMailFromMailData(MailData* mail) {
  return Guarded(false, [&] { return mail != nullptr && SendMailFromMailData(*mail); });
}

bool MailsSendMailFromFile(const char* path) {
  return Guarded(false, [&] { return SendMailFromFile(path); });
}

bool MailsSendMails(const char* directory) {
  return Guarded(true, [&] { return SendMails(directory); });
}

bool MailsThreadedSendMail(MailData* mail, CompletionCallback callback, uint32_t userValue) {
  return Guarded(false, [&] { return ThreadedSendMail(mail, callback, userValue); });
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

bool MailsReceiveMails(MailDataList* list) {
  return Guarded(false, [&] { return list != nullptr && ReceiveMails(*list); });
}

bool MailsGetMails(MailDataList* list) {
  return Guarded(false, [&] { return list != nullptr && GetMails(*list); });
}

void MailsAuthorizeConnection() {
  GuardedVoid([] { ForbidConnections(false); });
}

void MailsForbidConnection() {
  GuardedVoid([] { ForbidConnections(true); });
}

}  // extern "C"
