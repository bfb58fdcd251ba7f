// The exported functions of the Quorvel library.
//
// Every function works on behalf of the calling thread: a thread first creates
// its context with MTAddNew and ends it with MTRemove. Without a context a
// function does nothing and answers its neutral value. No exception ever
// leaves an exported function. Booleans are one byte, 1 for success.
#pragma once

#include <cstdint>
#include <string>

#include "quorvel/CodedText.h"
#include "quorvel/Handles.h"
#include "quorvel/MailData.h"
#include "quorvel/ThreadLog.h"
#include "quorvel/WideString.h"

// The build of the library defines QUORVEL_API to mark the exports visible.
#ifndef QUORVEL_API
#define QUORVEL_API
#endif

extern "C" {

// ---- Contexts and settings -------------------------------------------------

// Creates the calling thread's context (a second call changes nothing).
// Answers nonzero on success.
QUORVEL_API int32_t MTAddNew(MutexHandle mutex);
// Ends the calling thread's use of its context; answers the number of entries
// left in the context table.
QUORVEL_API int32_t MTRemove();
QUORVEL_API int32_t MailsGetLastErrorCode();
QUORVEL_API bool MailsUseMAPI();
QUORVEL_API bool MailsUseNOTES();
QUORVEL_API bool MailsUseSMTP_POP(const char* popHost, uint16_t popPort, const char* popUser,
                                  const char* popPassword, const char* smtpHost,
                                  uint16_t smtpPort, const CodedText* senderName,
                                  const char* mimeDirectory, uint8_t flag);
QUORVEL_API bool MailsSetReceptionDirectory(const char* directory);
QUORVEL_API bool MailsSetOutDirectory(const char* directory);
QUORVEL_API bool MailsSetSentDirectory(const char* directory);
QUORVEL_API void MailsSetClientWindow(WindowHandle window);
QUORVEL_API void MailsSetCallback(ProgressCallback callback);
// Progress of the current send, 0 to 100; -1 without a context.
QUORVEL_API int32_t MailsGetPercentSent();

// ---- Log files --------------------------------------------------------------

QUORVEL_API void MailsInitializexLogFile(CxThreadObjects* table);

// ---- SMTP settings of the user ---------------------------------------------

// Looks for the user's own outgoing-mail settings in the configuration of the
// mail clients installed on the machine. On success writes the SMTP host, the
// port (25), the sender address and the sender name and answers 1; otherwise
// answers 0 and leaves the outputs untouched. The texts are the host's string
// objects: std::string on POSIX. A null output is skipped.
QUORVEL_API bool TessalyGetUserDefaultSMTPParams(std::string* host, uint16_t* port,
                                                 std::string* address, std::string* name);

// ---- Sending mail records ----------------------------------------------------

// Sends the mail with the context's transport, one message per "to"
// address (only the first carries the first copy address). A sent mail's
// files move to the sent directory, an unsent one's to the out directory,
// when those are set. Errors: MailsGetLastErrorCode.
QUORVEL_API bool MailsSendMailFromMailData(MailData* mail);
// The same for a mail-data file (".mes" with its ".att" files beside it).
QUORVEL_API bool MailsSendMailFromFile(const char* path);
// Sends every mail-data file of a directory once; always answers 1, the last
// error is the last mail's.
QUORVEL_API bool MailsSendMails(const char* directory);

// ---- Sending in the background ---------------------------------------------

// Starts a worker thread that sends the mail with the calling thread's
// context (no out or sent directory moves) and then calls `callback` (may be
// null) on the worker thread with (userValue, 1 sent / 0 not). The mail must
// stay alive and unchanged until then. 0 when a worker runs already.
QUORVEL_API bool MailsThreadedSendMail(MailData* mail, CompletionCallback callback,
                                       uint32_t userValue);
// Asks the worker to stop and waits until it has obeyed, suspended itself or
// ended; 0 when no worker runs.
QUORVEL_API bool MailsStopThreadedSend();
// Asks the worker to suspend itself at its next checkpoint and waits; 1 when
// it did, 0 when no worker runs or it ended first.
QUORVEL_API bool MailsSuspendThreadedSend();
// Lets a suspended worker go on; 0 when no worker runs or it was not suspended.
QUORVEL_API bool MailsResumeThreadedSend();

// ---- Cancelling a blocked socket call (POSIX addition) ---------------------

// The POSIX stand-in for posting the thread message 0x0401 to a thread. The
// thread `threadId` (a kernel thread id, as gettid answers) is blocked in the
// library's SMTP or POP3 client, or will be: its current blocking socket call
// (connect, send or one receive) fails at once and closes its connection; a
// thread that is not blocked keeps the cancel for its next blocking socket
// call, which then fails at once. The client reports the failure as it
// reports a time-out. Answers 1 when the cancel was posted, 0 when
// `threadId` is no live thread of the process. Any thread may call it, with
// or without a context; it never blocks.
QUORVEL_API bool MailsCancelBlockingCall(uint32_t threadId);

// ---- Receiving -----------------------------------------------------------

// Fetches every waiting message from the context's POP server into the
// reception directory (a mail-data file with its attachments each) and
// appends its record to `list`; a message is deleted on the server only once
// its file is written. 1 also when single messages could not be fetched or
// stored; 0 with lastError 32770 (no reception directory), 32769 (no
// protocol), 6 (connection or login failed, or connections forbidden) or 12
// (message count failed).
QUORVEL_API bool MailsReceiveMails(MailDataList* list);
// Appends a record for every mail-data file in the reception directory; 0
// when the directory does not exist.
QUORVEL_API bool MailsGetMails(MailDataList* list);
// Allows, or forbids, every SMTP send and POP connection of every context.
QUORVEL_API void MailsAuthorizeConnection();
QUORVEL_API void MailsForbidConnection();

}  // extern "C"
