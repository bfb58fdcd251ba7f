// The exported functions of the Quorvel library: the host's contract.
//
// Contexts. Every function works on behalf of the calling thread: a thread
// first creates its context with MTAddNew and ends it with MTRemove. Without
// a context a function does nothing and answers its neutral value (given with
// each function). No exception ever leaves an exported function. Booleans
// are one byte, 1 for success.
//
// Errors. The mail layer (MT, Mails) records failures in the context's last
// error code (MailsGetLastErrorCode; codes and messages in
// quorvel/ErrorCodes.h); most of its functions reset it to 0 on entry. The
// exchange layer (Tessaly) sets no error code: its functions answer a neutral
// value (0, -1, 255, a null pointer or an empty text).
//
// Texts. 8-bit strings (const char*, std::string, string lists: paths,
// routes, addresses, settings) are in the system's ANSI code page: UTF-8
// (65001) on POSIX, GetACP() on Windows. A CodedText is a UTF-16 text with the
// Windows code page it is meant for; a POSIX host gives its own texts code
// page 65001. Message texts (WideString) are UTF-16, stored and handed back
// unchanged. Pointers to host objects may be null where a comment says so;
// the library never keeps them after the call unless it says so.
//
// Threads. A call reaches the calling thread's own context, found by its
// thread id (and shared only with the one background worker it may start);
// threads with contexts of their own may call at the same time. While a
// worker runs, see "Background workers" below for what the host may call.
// Temporary files go into $TMPDIR (else /tmp) on POSIX and GetTempPath on
// Windows; docs/hosts.md lists them.
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

// Creates the calling thread's context and answers 1 (0 only when it could
// not be made). A thread that has one already keeps it: the call changes
// nothing and answers 1. `hostMutex` (null: none) is the host's mutex that a
// background worker of this context locks while it leaves the context (see
// Handles.h for its form); the library never creates or destroys it, and it
// must outlive every worker of the context.
// The context table has a lock of its own, so the host need not hold the
// mutex around MTAddNew and MTRemove; holding it there is harmless. Never hold
// it while waiting for a worker (stop or suspend request): the worker may
// need it.
QUORVEL_API int32_t MTAddNew(MutexHandle hostMutex);
// Ends the calling thread's use of its context: the context (its settings,
// its open mailbox, which is closed) goes once no worker holds it any more.
// Answers the number of thread entries left in the library's context table,
// a worker's entry included; the same number without a context.
QUORVEL_API int32_t MTRemove();
// The calling thread's last error code (quorvel/ErrorCodes.h); 0 without a
// context. A background worker sets it too; reading it while one runs is safe.
QUORVEL_API int32_t MailsGetLastErrorCode();
// Choose MAPI, or the Notes client, as the context's transport for the send
// functions; MailsUseSMTP_POP chooses SMTP and POP3. Answer 1, with or
// without a context.
QUORVEL_API bool MailsUseMAPI();
QUORVEL_API bool MailsUseNOTES();
// Chooses SMTP and POP3 as the context's transport and stores:
//   popHost, popPort (usually 110), popUser, popPassword: the POP3 account
//     that MailsReceiveMails reads (null texts are empty);
//   smtpHost, smtpPort (usually 25): the server the send functions deliver to;
//   senderName: the sender's display name in its code page, used when a mail
//     record names no sender of its own; copied (null: an empty name);
//   mimeDirectory: where a composed message that does not fit in memory
//     (over 1 MB) is written, and where a stopped or refused message is left;
//     it must exist already (it is not created). Null keeps the directory set
//     before; without one, large messages go to the temporary directory and
//     are deleted after the send;
//   mimeFlag: kept with the settings; nothing depends on it (pass 0).
// Answers 1 when everything was stored; 0 with error 32770 when the MIME
// directory does not exist: everything is stored all the same, that
// directory included, and sends then fail with error 8 until an existing one
// is set. Without a context it stores nothing and answers 1.
QUORVEL_API bool MailsUseSMTP_POP(const char* popHost, uint16_t popPort, const char* popUser,
                                  const char* popPassword, const char* smtpHost,
                                  uint16_t smtpPort, const CodedText* senderName,
                                  const char* mimeDirectory, uint8_t mimeFlag);
// The directories of the mail layer, created level by level when missing:
// where MailsReceiveMails writes received mails (MailsGetMails reads them),
// where a mail that could not be sent is moved, and where a sent one is
// moved. Answer 0 with error 32770 when the directory cannot be made (the one
// set before stays). A null out or sent directory clears it (no move); a
// null reception directory fails. Without a context they change nothing and
// answer 1.
QUORVEL_API bool MailsSetReceptionDirectory(const char* directory);
QUORVEL_API bool MailsSetOutDirectory(const char* directory);
QUORVEL_API bool MailsSetSentDirectory(const char* directory);
// Where progress events go: first the window (Handles.h; null: none), then
// the callback (null: none), both called synchronously on the thread doing
// the work (the worker's thread for background work). Kept until changed.
QUORVEL_API void MailsSetClientWindow(WindowHandle window);
QUORVEL_API void MailsSetCallback(ProgressCallback callback);
// Percentage of the current or last send, 0 to 100 (safe to poll while a
// worker sends); -1 without a context.
QUORVEL_API int32_t MailsGetPercentSent();

// ---- Log files --------------------------------------------------------------

// Hands the library the host's log table (ThreadLog.h); null stops logging.
// The host keeps owning the table and every object in it, also those the
// library adds for threads it meets, and must keep it alive until it hands
// another or unloads the library. The calling thread's object gets the
// settings of the table's first object. Needs no context.
QUORVEL_API void MailsInitializexLogFile(CxThreadObjects* table);

// ---- SMTP settings of the user ---------------------------------------------

// Looks for the user's own outgoing-mail settings in the configuration of the
// mail clients installed on the machine. On success writes the SMTP host, the
// port (25), the sender address and the sender name and answers 1; otherwise
// answers 0 and leaves the outputs untouched. The texts are the host's string
// objects (std::string on POSIX), in the ANSI code page. A null output is
// skipped. POSIX has no such configuration: it answers 0 there. 0 without a
// context.
QUORVEL_API bool TessalyGetUserDefaultSMTPParams(std::string* host, uint16_t* port,
                                                 std::string* address, std::string* name);

// ---- Mailbox ---------------------------------------------------------------

// Opens the mailbox BASE/NAME/mailbox/ (creating the directories) as the
// calling thread's mailbox, closing the one it had (which saves that one's
// index when a change is pending). Its index "Mailbox.inv" stays held
// exclusively until the next open or the end of the context, so that no
// other thread or process can open the same mailbox meanwhile: that open
// answers 0 after about 100 ms of retries. A damaged or missing index is
// rebuilt from the item files. 0 without a context, when the directories
// cannot be made, or when the index cannot be opened (the context then has
// no mailbox). Not while a worker of the context runs.
QUORVEL_API bool TessalyOpenMailBox(const char* baseDirectory, const char* name);
// Bit 0x1 locks sending of exchange items (TessalySendMails and
// TessalyThreadedSendMails answer 0 at once), bit 0x2 receiving
// (TessalyReceiveMails, TessalyThreadedReceiveMails). A new context has 0.
// Answers the previous mode; 0 without a context.
QUORVEL_API uint32_t TessalySetDllLockingMode(uint32_t mode);
// ---- Sending mail records ----------------------------------------------------

// Sends the mail with the context's transport, one message per "to"
// address (only the first carries the first copy address); MailData.h says
// what each field holds and in which code page. A sent mail's files move to
// the sent directory, an unsent one's to the out directory, when those are
// set. Answers 1 when every delivery succeeded; else 0 with the error code:
// 32769 no transport chosen, 32771 settings not stored, 5 no connection or
// greeting, 7 refused by the server, 8 composing failed, 13 stopped, 9 to 11
// MAPI or Notes, 32774 a mail without any "to" address (never sent) or a
// null mail. A missing attachment file is left out. 0 without a context.
// Blocks until done (at most the time-out of 90 s per server reply);
// MailsCancelBlockingCall ends a blocked wait.
QUORVEL_API bool MailsSendMailFromMailData(MailData* mail);
// The same for a mail-data file (".mes" with its ".att" files beside it):
// 0 with error 32773 for a missing file or a null path, 32774 for a file that
// cannot be read as one (also one larger than 64 MiB) or that names no
// recipient; such a file stays where it is. An attachment of the file is
// taken only when its name is a plain file name and its content file lies
// beside the file.
QUORVEL_API bool MailsSendMailFromFile(const char* path);
// Sends every mail-data file of a directory once. A sent mail's files leave
// the directory: moved to the sent directory, or deleted when none is set; an
// unsent one's move to the out directory when one is set, else stay (files
// without recipients always stay). Always answers 1; the last error is the
// last mail's.
QUORVEL_API bool MailsSendMails(const char* directory);

// ---- Sending in the background ---------------------------------------------

// Background workers. A context has at most one worker, shared by
// MailsThreadedSendMail and the three TessalyThreaded functions; a start
// while one runs answers 0. The starting call enters the worker for the
// starter's context; the worker works with its settings and mailbox, frees its
// slot, calls the completion callback on its own thread with (userValue,
// result), then leaves the context (under the host mutex again). Nothing else
// is refused or locked against the worker: until it ends, the host calls only
// MailsGetPercentSent, MailsGetLastErrorCode, the stop, suspend and resume
// requests and MailsCancelBlockingCall for that context. There is no query
// for the end of a worker: pass a callback (it may start the next operation
// itself). With a null callback, a new start succeeds, and
// MailsStopThreadedSend answers 0, once no worker runs.

// Starts a worker that sends the mail as MailsSendMailFromMailData does, but
// without moves to the out or sent directory, then calls `callback` (may be
// null) with (userValue, 1 sent / 0 not). The mail must stay alive and
// unchanged until then; the host keeps owning it. 0 without a context, or
// when a worker runs already; 0 with error 32774 for a null mail.
QUORVEL_API bool MailsThreadedSendMail(MailData* mail, CompletionCallback callback,
                                       uint32_t userValue);
// Asks the worker to stop at its next checkpoint (a send ends with error 13;
// an exchange worker ends after its running operation) and waits until it
// has obeyed, suspended itself or ended; 1 when a worker ran, 0 when none
// runs. From a progress callback, which runs on the worker's thread, this and
// the suspend request only set the request and return at once. The calling
// thread's priority is as it was afterwards (Windows lowers it meanwhile).
QUORVEL_API bool MailsStopThreadedSend();
// Asks the worker to suspend itself at its next checkpoint and waits; 1 when
// it did (or was suspended already), 0 when no worker runs or it ended
// first.
QUORVEL_API bool MailsSuspendThreadedSend();
// Lets a suspended worker go on; 1 also for a worker that runs without
// being suspended, 0 when no worker runs.
QUORVEL_API bool MailsResumeThreadedSend();

// ---- Pupil mails and tutor replies ----------------------------------------
// Host strings are std::string and host string lists std::vector<std::string>
// (the stand-ins of the framework's string and string-array objects), in the
// ANSI code page; a null list is an empty one. Each writer builds the item in
// the temporary directory, files it in the calling thread's open mailbox as
// not yet sent (attribute 0x0002, in the outbox queue) with `recipient` as
// its outbound route (see "Sending and receiving exchange items"), deletes
// the temporary file and saves the index. Answers 1 when the item is filed
// and the index saved; 0 without a context or open mailbox, with an empty
// recipient, or when the item could not be written or filed (nothing is
// filed then). When only the save failed the item stays filed in memory and
// reaches "Mailbox.inv" with the next save.
//
// The message text is UTF-16 and is stored and handed back exactly as given:
// the host's own rich-text markup (tags such as "<Cp1252>" in angle brackets,
// "\" as the escape) or plain text; the library never parses it. `number`,
// `reference`, `noteA`, `noteB`, the three flags and `options` are values of
// the host's own: the library stores them in the item file and gives them no
// meaning. Only the two index flags also reach the item's IndexEntry
// (messageFlagA, messageFlagB); a tutor reply copies the pupil mail's number
// and reference into its own file (TessalyPupilQv6IsValid hands the
// reference back). No export reads the others back.

// Writes a pupil mail (record kind 20):
//   number: the host's number for the mail (32 bits);
//   reference, correspondent: CodedTexts (null: code page 1252, empty);
//     the correspondent also becomes the IndexEntry's correspondent;
//   fileOnlyFlag: a byte kept in the item file only;
//   indexFlagA, indexFlagB: bytes kept in the file and in the IndexEntry;
//   markupText: the message text (null: empty);
//   options: a 32-bit value of the host's own (null: 0);
//   noteA, noteB: 8-bit texts kept byte for byte (null: empty);
//   attachments: paths of files to attach, stored under their file names;
//   trackingFiles, diagnosticFiles, optionsIniFile: the pupil's learning data
//     (paths; the options file only when that path names a file);
//   recipient: the outbound route; must not be empty;
//   answeredIndex: the index of the tutor reply this mail answers; an index
//     not below the number of items starts a new thread, and an item there
//     that is not a tutor reply (kind 21) fails the call.
QUORVEL_API bool TessalyPupilWriteMail(uint32_t number, const CodedText* reference,
                                       const CodedText* correspondent, uint8_t fileOnlyFlag,
                                       uint8_t indexFlagA, const WideString* markupText,
                                       const ArchivedU32* options, uint8_t indexFlagB,
                                       const char* noteA, const char* noteB,
                                       const std::vector<std::string>* attachments,
                                       const std::vector<std::string>* trackingFiles,
                                       const std::vector<std::string>* diagnosticFiles,
                                       const std::string* optionsIniFile,
                                       const std::string* recipient, uint32_t answeredIndex);
// Files a copy of an exchange file the host wrote itself as a new thread,
// with one outbound route per element of `recipients` (at least one) and
// `names` kept in its IndexEntry (null: none); the file itself stays where it
// is. 0 with a null path or recipient list.
QUORVEL_API bool TessalyAddNewMail(const char* path, const std::vector<std::string>* recipients,
                                   const CodedTextArray* names);
// Writes a tutor's reply (record kind 21) to the pupil mail at
// `answeredIndex` (kind 20, or 22 with a pupil record) and files it under
// that mail. `number` is the reply's own number; the reply also carries the
// pupil mail's number and reference. `markupText` as for pupil mails.
QUORVEL_API bool TessalyTutorReplyToMail(uint32_t number, const CodedText* correspondent,
                                         const WideString* markupText,
                                         const std::vector<std::string>* attachments,
                                         uint32_t answeredIndex, const std::string* recipient);
// Whether `path` is a complete tutor reply (packed or not); `reference` (when
// given) receives the reference it carries, else the default CodedText (code
// page 1252, empty). Reads through a working copy in the temporary directory,
// deleted before it returns. Needs no context; safe from any thread.
QUORVEL_API bool TessalyPupilQv6IsValid(const char* path, CodedText* reference);

// ---- Attachments and learning data of an item --------------------------------
// Each takes the item at `itemIndex` of the open mailbox and reads it through
// a working copy ("~AT" n ".qvz" in the temporary directory, kept until the
// context reads another item, removes this one or closes the mailbox), never
// the stored file. A `name` output (may be null) receives a copy of the
// stored display name: the file name in the code page of the system that
// wrote the item (65001 when written on POSIX). The options getters always
// answer the fixed names "options.ini" and "options.upd" in code page 1252.
// A `targetPath` (may be null) receives the file, replacing an existing one.
// File indexes count from 0. Each answers 0 (false) without a context, an
// open mailbox, an item at the index, a readable item or a file at the index.

// The number of attachments; -1 without a context, mailbox or readable item.
QUORVEL_API int32_t TessalyGetNbAttachments(uint32_t itemIndex);
QUORVEL_API bool TessalyGetAttachment(uint32_t itemIndex, int32_t attachmentIndex, CodedText* name,
                                      const char* targetPath);
// The counts of the learning data (each output may be null; the two options
// values are 1 when that file is there, else 0). Answers 0 and writes nothing
// when the item carries no learning data.
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
// or by id (given out from 1 upward, fixed for the item's life, never
// reused). Without a context, an open mailbox, or an item at the index or of
// the id, each answers its none value: null, -1, 0, 255 or the empty text.
//
// The id of the item at an index: no function answers it directly. An item
// written in this mailbox has its own id in its IndexEntry's sourceId (a
// received item's sourceId is the id it answers, on the sender's side).
// For any item, TessalyGetItemAtId(id) answers the very pointer that
// TessalyGetItemAtIndex(index) answers for the same item, so walking the ids
// from 1 until the pointer matches finds it. The number of items is the
// first index at which TessalyGetItemAtIndex answers null.

// The item's entry: the mailbox's own object, which the host may read and
// change (a change is written with the next save of the index). Valid until
// the item is removed or the mailbox is closed; never freed by the host.
QUORVEL_API IndexEntry* TessalyGetItemAtIndex(uint32_t itemIndex);
QUORVEL_API IndexEntry* TessalyGetItemAtId(uint32_t id);
// The item's sourceId (see IndexEntry.h), by id.
QUORVEL_API int32_t TessalyGetSourceId(uint32_t id);
// The id, or the index, of the item that `id` answers; -2 for a thread root.
QUORVEL_API int32_t TessalyGetParentId(uint32_t id);
QUORVEL_API int32_t TessalyGetParentIndex(uint32_t id);
// The attribute word (IndexEntry.h: 0x0001 unread, 0x0002 not yet sent,
// 0x0008 attachments, 0x2000 learning data); -1 for none.
QUORVEL_API int16_t TessalyGetItemAttributes(uint32_t itemIndex);
// Sets, then clears bits of the attribute word (clearing wins). The change is
// in memory at first: it reaches "Mailbox.inv" with the next function that
// saves the index (a writer, TessalyGetItemMessageText, TessalySendMails,
// TessalyReceiveMails, a removal), and at the latest when the mailbox closes
// (another TessalyOpenMailBox, MTRemove of the context, unloading). To write
// it at once, call TessalyRemoveMailsAtIndexes(""): it removes nothing, saves
// the index and answers 1 when the save succeeded.
QUORVEL_API bool TessalyChangeItemAttributes(uint32_t itemIndex, uint16_t setBits,
                                             int32_t clearBits);
// Items written here: when they were filed; received items: when they
// arrived. A time object (TimeValue.h: seconds since 1970-01-01 UTC; 0 for
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
// The item's text as stored (see "Pupil mails and tutor replies"); a plain
// text item (kind 23) gets the markup tag "<Cp1252>" in front. Afterwards the
// item is no longer unread and the index is saved. The buffer passes to the
// caller, who releases it by taking the text over:
//   WideString text = TessalyGetItemMessageText(index).Owned();
// (a text dropped without Owned() is never freed).
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
//     (delivered by SMTP as an attachment of a message; the name is written
//     in the code page given)
//   "3|directory" (a copy of the item file goes there)
//   "4|recipient|sender" (Notes), "5|recipient" (MAPI);
// kind 2 and every other kind never send. A route with another number of
// fields than its kind has is read with empty fields.

// Tries every route of every queued item (last queued first); an item that
// one route delivered leaves the queue and loses its not-sent bit (0x0002).
// Saves the index (a failed save is retried when the mailbox closes).
// Answers 1 once the run was made, whatever was delivered; 0 without a
// context or open mailbox, or when sending is locked. Blocks for the whole
// run; TessalyThreadedSendMails runs it on a worker.
QUORVEL_API bool TessalySendMails();
// One element per route of the LAST send run that delivered (sent) or not
// (not sent); an item with two routes may appear twice, in both lists. They
// say nothing about earlier runs: what still waits to be sent is every item
// whose attribute word has the not-sent bit 0x0002 (there is no query of the
// outbox queue itself). The arrays belong to the context and are refilled by
// the next run; their elements are the mailbox's own entries: a removal takes
// the removed ones out of the arrays, and closing the mailbox empties them.
// Null without an open mailbox.
QUORVEL_API IndexEntryArray* TessalyGetSentItems();
QUORVEL_API IndexEntryArray* TessalyGetNotSentItems();
// Every queued item: with `oldRoute`, its first route equal to it becomes
// `newRoute`; with a null `oldRoute`, `newRoute` becomes its only route. A
// null `newRoute` changes nothing. The change is in memory until the next
// save of the index, and is saved at the latest when the mailbox closes.
QUORVEL_API void TessalyChangeOutProtocolForUnsentMessages(const char* newRoute,
                                                          const char* oldRoute);

// Start a worker (see "Background workers") that runs the exchange
// operations on the calling thread's context and mailbox: send
// (TessalySendMails), receive (TessalyReceiveMails), or receive then send;
// then calls `callback` (may be null) with (userValue, 1 when every operation
// succeeded, else 0). 0 without an open mailbox, when the direction asked for
// is locked (both, for the combined one: with one locked, that operation
// fails inside the worker), or when a worker runs already; in that last case
// the operations asked for are still appended to the context's queue, and the
// running worker runs them too unless it has passed the end of its queue.
// MailsStopThreadedSend stops the worker after its running operation. The
// host must not call other exchange functions of the context meanwhile.
QUORVEL_API bool TessalyThreadedSendMails(CompletionCallback callback, uint32_t userValue);
QUORVEL_API bool TessalyThreadedReceiveMails(CompletionCallback callback, uint32_t userValue);
QUORVEL_API bool TessalyThreadedReceiveAndSendMails(CompletionCallback callback,
                                                    uint32_t userValue);

// ---- Receiving items -------------------------------------------------------
// Registers an inbound source of the calling thread's context, kept until
// the context ends (no open mailbox needed, no duplicate check; nothing
// without a context; null texts are empty). A directory gets a trailing
// separator. HTTP sources are registered but never polled: their two texts
// and port are kept as given and never read.
QUORVEL_API void TessalyAddProtocolPopIn(const char* host, uint16_t port, const char* user,
                                         const char* password);
QUORVEL_API void TessalyAddProtocolHttpIn(const char* firstKeptText, uint16_t port,
                                          const char* secondKeptText);
QUORVEL_API void TessalyAddProtocolFileIn(const char* directory);
// Files every exchange file of the registered shared directories (".qv6",
// ".qv5", ".qvs") and every exchange attachment of the POP accounts' mails
// into the open mailbox, under the items they answer and marked unread; a
// mail without one becomes a plain item (kind 23). What was filed leaves its
// source (file deleted, message deleted on the server) only once the index
// holding it is saved; what failed stays there for the next run. Answers 1
// once the run was made, whatever each source gave; 0 without a context or
// open mailbox, or while receiving is locked (bit 0x2). Blocks for the whole
// run; TessalyThreadedReceiveMails runs it on a worker.
QUORVEL_API bool TessalyReceiveMails();

// ---- Removing items ---------------------------------------------------------
// An item goes with all its replies and theirs; they leave the outbox queue,
// the index is saved, and only then are their files deleted. Ids of removed
// items are never given out again. Entries of removed items (pointers from
// the item queries and the sent and not-sent lists) are freed. Both answer 0
// without a context or open mailbox, and 0 when the index could not be saved
// (the files then stay).

// 0 also when no item is at the index (the index is saved all the same).
QUORVEL_API bool TessalyRemoveMailAtIndex(uint32_t itemIndex);
// Removes the items at the indexes of a list such as "3, 1, 5", each index as
// it was before any removal (the highest goes first). Spaces are ignored;
// empty pieces and an index named twice are skipped; a piece that is not an
// optional sign followed by decimal digits, or names no item, removes nothing
// and makes the answer 0. Answers 1 when every named item was removed and the
// index saved. The index is saved once in every case: an empty list only
// saves it.
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
// PLAIN, else LOGIN, as the server offers; with the host's OAuth 2 access
// token when `oauthToken` is not empty, `password` then unused: OAUTHBEARER
// (RFC 7628), else XOAUTH2, as EHLO offers; neither offered is error 17).
// Credentials go out only over TLS: with mode 0 and a user, connecting fails.
// Greeting with credentials or TLS uses EHLO instead of HELO. New SMTP error
// identifiers (progress event 13): 15 TLS could not be set up, 16 STARTTLS
// required but not offered, 17 authentication refused or impossible; the
// library error code stays 5 (connection failed). A mode above 2 answers 0
// and changes nothing.
QUORVEL_API bool MailsSetSmtpSecurity(uint32_t tlsMode, const char* user, const char* password,
                                      const char* oauthToken);
// POP3: the TLS mode. Once called, the client asks for the server's
// capabilities (CAPA) and logs in with AUTH PLAIN (RFC 5034) when its SASL
// line offers it, else with USER/PASS; the password goes out only over TLS
// unless `allowClearTextPassword` is 1. New POP client errors (progress
// event 13): 13 TLS could not be set up, 14 STLS refused, 15 password (or
// token) not sent in clear. A mode above 2 answers 0 and changes nothing.
QUORVEL_API bool MailsSetPopSecurity(uint32_t tlsMode, uint8_t allowClearTextPassword);
// POP3 with an OAuth 2 access token instead of the password (null or empty:
// the password again): after CAPA, AUTH OAUTHBEARER, else XOAUTH2, as the
// SASL line offers, for the context's POP user (the exchange layer's POP
// accounts included, each with its own user). The token goes out only over
// TLS (else error 15). New POP client errors: 17 the token was refused, 18
// the server offers neither mechanism. The library error code stays 6. The
// server's explanation of a refusal (its JSON, RFC 7628) goes to the log,
// event 100033 (so does SMTP's), and the token never does.
QUORVEL_API bool MailsSetPopOAuthToken(const char* oauthToken);
// Tokens expire, also during a long run. When a server refuses the token of
// an SMTP delivery or a POP login, the library calls `callback` (null: none)
// on the thread that connects (a background worker's included) with the
// user's name and `userValue`; a new token it gives is tried at once on the
// same connection and kept for the context's later connections of that
// protocol, so one refresh serves every remaining item. No new token (0, or
// the refused one again) and the refusal stands. Without a callback a host
// may instead set new tokens between items with the two setters above.
QUORVEL_API bool MailsSetOAuthTokenCallback(OAuthTokenCallback callback, uint32_t userValue);
// Certificates in `caFile` (PEM; null or empty: none) are trusted besides the
// system's store. `verifyCertificates` 0 accepts any certificate and name:
// every such connection writes log event 100031 saying so.
QUORVEL_API bool MailsSetTlsTrust(const char* caFile, uint8_t verifyCertificates);

// ---- Receiving -----------------------------------------------------------

// POP receive bounds of the calling thread's context (extension), for
// MailsReceiveMails and the exchange layer's POP accounts alike; 0 keeps the
// default of each. `timeoutMilliseconds` (default 90000) bounds each step,
// and during a message's data each 64 KiB must follow the previous 64 KiB
// within it (a server that trickles the data ends the message). A message
// larger than `largestMessage` bytes (default 100 MiB, as LIST announces it
// or as it arrives) is not taken and stays on the server: POP client error
// 16 (progress event 13). 0 without a context.
QUORVEL_API bool MailsSetPopLimits(uint32_t timeoutMilliseconds, uint64_t largestMessage);
// Fetches every waiting message from the POP server of MailsUseSMTP_POP into
// the reception directory (a mail-data file with its attachment files each)
// and appends its record to `list`, which the host owns with every record in
// it. A message is deleted on the server only once its files are written and
// flushed to the disk.
// Texts are converted to the library's code page (65001 on POSIX), which the
// records carry. 1 also when single messages could not be fetched or stored;
// 0 with error 32770 (no reception directory), 32769 (no protocol), 6
// (connection or login failed, or connections forbidden) or 12 (message
// count failed). Without a context, or without a POP host, it does nothing
// and answers 1. A null list answers 0 with error 0 (there is no code for
// it). Blocks for the whole run (the time-out of MailsSetPopLimits per step).
QUORVEL_API bool MailsReceiveMails(MailDataList* list);
// Appends a record for every mail-data file in the reception directory, in
// the order the file system lists them; 0 when the directory does not exist,
// there is no context, or with a null list (error 0). A record names only
// attachments whose content files lie beside its file, under plain names.
QUORVEL_API bool MailsGetMails(MailDataList* list);
// Allow, or forbid, every SMTP delivery and POP connection of every context
// of the process (a forbidden one fails without connecting). Allowed at
// load. Need no context.
QUORVEL_API void MailsAuthorizeConnection();
QUORVEL_API void MailsForbidConnection();

}  // extern "C"
