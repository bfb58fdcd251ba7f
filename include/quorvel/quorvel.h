// The exported functions of the Quorvel library.
//
// Every function works on behalf of the calling thread: a thread first creates
// its context with MTAddNew and ends it with MTRemove. Without a context a
// function does nothing and answers its neutral value. No exception ever
// leaves an exported function. Booleans are one byte, 1 for success.
#pragma once

#include <cstdint>

#include "quorvel/CodedText.h"
#include "quorvel/Handles.h"
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

}  // extern "C"
