// The exported functions of the Quorvel library.
//
// Every function works on behalf of the calling thread: a thread first creates
// its context with MTAddNew and ends it with MTRemove. Without a context a
// function does nothing and answers its neutral value. No exception ever
// leaves an exported function. Booleans are one byte, 1 for success.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quorvel/ArchivedU32.h"
#include "quorvel/CodedText.h"
#include "quorvel/CodedTextArray.h"
#include "quorvel/HandedWideString.h"
#include "quorvel/Handles.h"
#include "quorvel/IndexEntry.h"
#include "quorvel/MailData.h"
#include "quorvel/ThreadLog.h"
#include "quorvel/TimeValue.h"
#include "quorvel/Version.h"
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

// ---- Mailbox ---------------------------------------------------------------

// Opens the mailbox BASE/NAME/mailbox/ (creating the directories) as the
// calling thread's mailbox, closing the one it had. Its index "Mailbox.inv"
// stays held exclusively until the next open or the end of the context, so
// that no other thread or process can open the same mailbox meanwhile.
QUORVEL_API bool TessalyOpenMailBox(const char* baseDirectory, const char* name);
// Bit 0x1 locks sending of exchange items, bit 0x2 receiving. Answers the
// previous mode; 0 without a context.
QUORVEL_API uint32_t TessalySetDllLockingMode(uint32_t mode);
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
// ended; 0 when no worker runs. From a progress callback, which runs on the
// worker's thread, this and the suspend request return at once.
QUORVEL_API bool MailsStopThreadedSend();
// Asks the worker to suspend itself at its next checkpoint and waits; 1 when
// it did, 0 when no worker runs or it ended first.
QUORVEL_API bool MailsSuspendThreadedSend();
// Lets a suspended worker go on; 0 when no worker runs or it was not suspended.
QUORVEL_API bool MailsResumeThreadedSend();

// ---- Pupil mails and tutor replies ----------------------------------------
// Host strings are std::string and host string lists std::vector<std::string>
// (the stand-ins of the framework's string and string-array objects); a null
// list is an empty one. Each writer files the new item in the calling
// thread's open mailbox as not yet sent, with the recipient as its outbound
// route, and saves the index; it answers 1 when the item is filed.

// Writes a pupil mail with its attachments and learning data (tracking and
// diagnostic files, "options.ini" when that path names a file). When
// `answeredIndex` is the index of a tutor reply the mail is filed under it;
// an index not below the number of items starts a new thread, and any other
// item there fails the call.
QUORVEL_API bool TessalyPupilWriteMail(uint32_t number, const CodedText* reference,
                                       const CodedText* correspondent, uint8_t messageFlagC,
                                       uint8_t messageFlagA, const WideString* text,
                                       const ArchivedU32* options, uint8_t messageFlagB,
                                       const char* noteA, const char* noteB,
                                       const std::vector<std::string>* attachments,
                                       const std::vector<std::string>* trackingFiles,
                                       const std::vector<std::string>* diagnosticFiles,
                                       const std::string* optionsIniFile,
                                       const std::string* recipient, uint32_t answeredIndex);
// Files an exchange file the host wrote itself as a new thread, with one
// outbound route per recipient (at least one) and the names given; the file
// stays where it is.
QUORVEL_API bool TessalyAddNewMail(const char* path, const std::vector<std::string>* recipients,
                                   const CodedTextArray* names);
// Writes a tutor's reply to the pupil mail at `answeredIndex` and files it
// under that mail. The reply carries the pupil mail's number and reference.
QUORVEL_API bool TessalyTutorReplyToMail(uint32_t number, const CodedText* correspondent,
                                         const WideString* text,
                                         const std::vector<std::string>* attachments,
                                         uint32_t answeredIndex, const std::string* recipient);
// Whether `path` is a complete tutor reply; `reference` (when given) receives
// its reference, else the default CodedText. Needs no context.
QUORVEL_API bool TessalyPupilQv6IsValid(const char* path, CodedText* reference);

// ---- Attachments and learning data of an item --------------------------------
// Each takes the item at `itemIndex` of the open mailbox and reads it through
// a working copy, never the stored file. A name output receives the stored
// display name (the options files: "options.ini" / "options.upd" in code
// page 1252); a target path receives the file, replacing an existing one.
// Either may be null.

// The number of attachments; -1 without a context, mailbox or readable item.
QUORVEL_API int32_t TessalyGetNbAttachments(uint32_t itemIndex);
QUORVEL_API bool TessalyGetAttachment(uint32_t itemIndex, int32_t attachmentIndex, CodedText* name,
                                      const char* targetPath);
// The counts of the learning data; 0 and nothing written when the item has none.
QUORVEL_API bool TessalyGetNbUserData(uint32_t itemIndex, uint16_t* trackingCount,
                                      uint16_t* diagnosticCount, uint16_t* optionsIniPresent,
                                      uint16_t* learningPathCount, uint16_t* optionsUpdPresent);
QUORVEL_API bool TessalyGetUserTrackingFile(uint32_t itemIndex, int32_t fileIndex, CodedText* name,
                                            const char* targetPath);
QUORVEL_API bool TessalyGetUserDiagFile(uint32_t itemIndex, int32_t fileIndex, CodedText* name,
                                        const char* targetPath);
QUORVEL_API bool TessalyGetUserLearningPathFile(uint32_t itemIndex, int32_t fileIndex,
                                                CodedText* name, const char* targetPath);
QUORVEL_API bool TessalyGetUserOptionsIniFile(uint32_t itemIndex, CodedText* name,
                                              const char* targetPath);
QUORVEL_API bool TessalyGetUserOptionsUpdFile(uint32_t itemIndex, CodedText* name,
                                              const char* targetPath);

// ---- Item queries ----------------------------------------------------------
// Items are named by index (their position in display order: every item is
// followed by its replies, and indexes shift when items are filed or removed)
// or by id (fixed for the item's life, never reused). Without a context, an
// open mailbox, or an item at the index or of the id, each answers its none
// value: null, -1, 0, 255 or the empty text.

// The item's entry, valid until the item is removed or the mailbox closed.
QUORVEL_API IndexEntry* TessalyGetItemAtIndex(uint32_t itemIndex);
QUORVEL_API IndexEntry* TessalyGetItemAtId(uint32_t id);
QUORVEL_API int32_t TessalyGetSourceId(uint32_t id);
// The id, or the index, of the item that `id` answers; -2 for a thread root.
QUORVEL_API int32_t TessalyGetParentId(uint32_t id);
QUORVEL_API int32_t TessalyGetParentIndex(uint32_t id);
QUORVEL_API int16_t TessalyGetItemAttributes(uint32_t itemIndex);
// Sets, then clears bits of the attribute word (clearing wins). In memory
// only: the next save of the index writes it.
QUORVEL_API bool TessalyChangeItemAttributes(uint32_t itemIndex, uint16_t setBits,
                                             int32_t clearBits);
// The item's date as a time object (seconds since 1970-01-01 UTC; 0 for
// none), returned by value as the host's time class is.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
QUORVEL_API TimeValue TessalyGetDate(uint32_t itemIndex);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
// The record kind in the item's file: 20 pupil mail, 21 tutor reply, 22 timed
// message, 23 plain text; 255 for none.
QUORVEL_API int32_t TessalyGetMessageType(uint32_t itemIndex);
// The item's text in markup (a plain text gets the tag of its code page),
// after which the item is no longer unread and the index is saved. The buffer
// passes to the caller, who releases it by taking the text over:
//   WideString text = TessalyGetItemMessageText(index).Owned();
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
QUORVEL_API HandedWideString TessalyGetItemMessageText(uint32_t itemIndex);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

// ---- Sending and receiving exchange items ---------------------------------
// An outbound route is a text of fields separated by "|", the first the kind:
//   "1|recipient|SMTP host|port|sender address|code page|sender name (UTF-8)"
//   "3|directory" (a copy of the item file goes there)
//   "4|recipient|sender" (Notes), "5|recipient" (MAPI);
// kind 2 and every other kind never send. A route with another number of
// fields than its kind has is read with empty fields.

// Tries every route of every queued item (last queued first); an item that
// one route delivered leaves the queue and loses its not-sent bit. Saves the
// index. 0 without a context or open mailbox, or when sending is locked.
QUORVEL_API bool TessalySendMails();
// One element per route of the last send run that delivered (sent) or not
// (not sent); an item with two routes may appear twice. The elements are the
// mailbox's own entries, valid until items are removed or the mailbox closes.
// Null without an open mailbox.
QUORVEL_API IndexEntryArray* TessalyGetSentItems();
QUORVEL_API IndexEntryArray* TessalyGetNotSentItems();
// Every queued item: with `oldRoute`, its first route equal to it becomes
// `newRoute`; with a null `oldRoute`, `newRoute` becomes its only route. The
// change is saved with the next save of the index.
QUORVEL_API void TessalyChangeOutProtocolForUnsentMessages(const char* newRoute,
                                                          const char* oldRoute);

// Start a worker thread that runs the exchange operations on the calling
// thread's context and mailbox (receive, send, or receive then send), then
// calls `callback` (may be null) on the worker thread with (userValue, 1 when
// every operation succeeded, else 0). 0 when a worker runs already, without
// an open mailbox, or when the direction asked for is locked (both, for the
// combined one: with one locked, that operation fails inside the worker).
// MailsStopThreadedSend stops the worker after its running operation. The
// host must not call other exchange functions of the context meanwhile.
QUORVEL_API bool TessalyThreadedSendMails(CompletionCallback callback, uint32_t userValue);
QUORVEL_API bool TessalyThreadedReceiveMails(CompletionCallback callback, uint32_t userValue);
QUORVEL_API bool TessalyThreadedReceiveAndSendMails(CompletionCallback callback,
                                                    uint32_t userValue);

// ---- Receiving items -------------------------------------------------------
// Registers an inbound source of the calling thread's context (no open
// mailbox needed, no duplicate check; nothing without a context). HTTP
// sources are registered but never polled. A directory gets a trailing
// separator.
QUORVEL_API void TessalyAddProtocolPopIn(const char* host, uint16_t port, const char* user,
                                         const char* password);
QUORVEL_API void TessalyAddProtocolHttpIn(const char* firstText, uint16_t port,
                                          const char* secondText);
QUORVEL_API void TessalyAddProtocolFileIn(const char* directory);
// Files every exchange file of the registered shared directories (".qv6",
// ".qv5", ".qvs") and every exchange attachment of the POP accounts' mails
// into the open mailbox, under the items they answer and marked unread; a
// mail without one becomes a plain item. What was filed leaves its source
// once the index holding it is saved; what failed stays there. 0 without a
// context or open mailbox, or while receiving is locked (bit 0x2).
QUORVEL_API bool TessalyReceiveMails();

// ---- Removing items ---------------------------------------------------------
// An item goes with all its replies and theirs; their files are deleted after
// the index that no longer lists them is saved, and they leave the outbox
// queue. Ids of removed items are never given out again.

QUORVEL_API bool TessalyRemoveMailAtIndex(uint32_t itemIndex);
// Removes the items at the indexes of a list such as "3, 1, 5", each index as
// it was before any removal (the highest goes first). Spaces are ignored;
// empty pieces and an index named twice are skipped; a piece that is not a
// decimal number removes nothing and makes the answer 0. Answers 1 when every
// named item was removed. The index is saved once in every case.
QUORVEL_API bool TessalyRemoveMailsAtIndexes(std::string indexes);

// ---- Cancelling a blocked socket call (POSIX addition) ---------------------

// The POSIX stand-in for posting the thread message 0x0401 to a thread. The
// thread `threadId` (a kernel thread id, as gettid answers) is blocked in the
// library's SMTP or POP3 client, or will be: its current blocking socket call
// (connect, send or one receive) fails at once and closes its connection; a
// thread that is not blocked keeps the cancel for its next blocking socket
// call, which then fails at once. The client reports the failure as it
// reports a time-out. Answers 1 when the cancel was posted, 0 when
// `threadId` is no live thread of the library. A live thread is one that
// has a context of its own (from MTAddNew until its MTRemove), or one that
// has made a socket call of the library and has not ended. A thread leaves
// in its own exit, before it can be joined, so the answer never depends on
// timing. Any thread may call it, with or without a context; it never blocks.
QUORVEL_API bool MailsCancelBlockingCall(uint32_t threadId);

// ---- Transport security (extension) ---------------------------------------
// TLS, SMTP authentication and certificate trust for every SMTP delivery and
// POP receive of the calling thread's context, the exchange layer's SMTP
// routes and POP accounts included. A context that never calls these speaks
// the plain dialogues, byte for byte. Each resets the last error code; a
// call without a context changes nothing and answers 1.
//
// TLS modes: 0 none (the plain dialogue); 1 upgrade: STARTTLS (SMTP) or STLS
// (POP3), required: a server that does not offer it is refused, never used
// in clear; 2 implicit: TLS from the first byte (usually ports 465 and 995).
// TLS is 1.2 or later; the server's certificate must be trusted by the
// system's store or the CA file and carry the host name (or address) the
// context connects to. A failure is logged with its reason (event 100030).

// SMTP: the TLS mode and, with a non-empty `user`, authentication (AUTH
// PLAIN, else LOGIN, as the server offers; XOAUTH2 with the host's OAuth 2
// access token when `oauthToken` is not empty, `password` then unused).
// Credentials go out only over TLS: with mode 0 and a user, connecting fails.
// Greeting with credentials or TLS uses EHLO instead of HELO. New SMTP error
// identifiers (progress event 13): 15 TLS could not be set up, 16 STARTTLS
// required but not offered, 17 authentication refused or impossible; the
// library error code stays 5 (connection failed). A mode above 2 answers 0
// and changes nothing.
QUORVEL_API bool MailsSetSmtpSecurity(uint32_t tlsMode, const char* user, const char* password,
                                      const char* oauthToken);
// POP3: the TLS mode. Once called, USER/PASS go out only over TLS unless
// `allowClearTextPassword` is 1. New POP client errors (progress event 13):
// 13 TLS could not be set up, 14 STLS refused, 15 password not sent in
// clear. A mode above 2 answers 0 and changes nothing.
QUORVEL_API bool MailsSetPopSecurity(uint32_t tlsMode, uint8_t allowClearTextPassword);
// Certificates in `caFile` (PEM; null or empty: none) are trusted besides the
// system's store. `verifyCertificates` 0 accepts any certificate and name:
// every such connection writes log event 100031 saying so.
QUORVEL_API bool MailsSetTlsTrust(const char* caFile, uint8_t verifyCertificates);

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
