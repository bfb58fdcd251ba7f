// The exported function table: thin wrappers that find the caller's context
// and run the layer's operation inside the export guard.
#include "quorvel/quorvel.h"

#include "exchange/TutorReplyFile.h"
#include "frame/ContextSettings.h"
#include "frame/ContextTable.h"
#include "frame/ExportGuard.h"
#include "frame/Library.h"
#include "frame/LogTable.h"
#include "mailbox/MailboxContext.h"
#include "mail/SmtpDiscovery.h"
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

bool MailsCancelBlockingCall(uint32_t threadId) {
  return Guarded(false, [&] { return platform::PostSocketCancel(threadId); });
}

}  // extern "C"
