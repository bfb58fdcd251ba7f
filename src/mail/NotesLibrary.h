// The Notes client library of the process: loaded once from the directory of
// the Notes program that the registry names, initialised once, and kept for
// the life of the process. Its entry points, the Notes error code and the
// status of the last Notes call are shared by every thread.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// Notes error codes.
enum NotesError : int32_t {
  NoError = 0,
  ErrCantLoadDll = 1,
  ErrCantInitNotes = 2,
  ErrNotesNotInitialized = 3,
  ErrCantGetMailServerName = 4,
  ErrCantGetMailFileName = 5,
  ErrCantOpenMailFile = 6,
  ErrCantCreateMessage = 7,
  ErrCantAllocateRecipientList = 8,
  ErrCantAllocateSendToList = 9,
  ErrCantAllocateCopyToList = 10,
  ErrNoRecipien = 11,
  ErrCantAddToSendList = 12,
  ErrCantAddToRecipientList = 13,
  ErrCantAddToCopyList = 14,
  ErrCantSetRecipient = 15,
  ErrCantSetSendTo = 16,
  ErrCantSetCopyTo = 17,
  ErrCantSetForm = 18,
  ErrCantSetFrom = 19,
  ErrCantSetSubject = 20,
  ErrCantSetPriority = 21,
  ErrCantSetDeliveryReport = 22,
  ErrCantSetComposedDate = 23,
  ErrCantSetPostedDate = 24,
  ErrCantCreateBody = 25,
  ErrCantAppendBodyItemLine = 26,
  ErrCantAppendAddBody = 27,
  ErrCantAttachFile = 28,
  ErrCantTransferMessage = 29,
  ErrCantUpdateFile = 30,
  ErrCantOpenMailbox = 31,
  ErrCantGenerateOID = 32,
  ErrCantUpdateMessage = 33,
  ErrCantCloseMessage = 34,
  ErrCantCloseMessageFile = 35,
  ErrCantInitThread = 36,
};

// The entry points, in the order they are looked up.
enum class NotesEntry : uint8_t {
  NotesTerm, NotesInit, NotesTermThread, NotesInitThread, OSLoadString, ConvertTIMEDATEToText,
  SECKFMGetUserName, OSCurrentTIMEDATE, MailCloseMessageFile, NSFDbClose, MailCloseMessage,
  OSMemFree, NSFNoteSetInfo, NSFDbGenerateOID, NSFNoteGetInfo, NSFDbOpen, NSFNoteUpdate,
  MailTransferMessageLocal, MailAddBodyItem, MailAppendBodyItemLine, MailCreateBodyItem,
  MailAddHeaderItem, MailAddHeaderItemByHandle, MailAddRecipientsItem, ListAddEntry,
  OSUnlockObject, ListAllocate, MailCreateMessage, MailOpenMessageFile, OSPathNetConstruct,
  OSGetEnvironmentString, NSFNoteAttachFile, Count,
};

// Loads and initialises the library unless that is done; false (with
// ErrCantLoadDll or ErrCantInitNotes) when it cannot be.
bool LoadNotes();
bool NotesLoaded();
// Forgets the loaded library (library unload, and tests that load again).
void UnloadNotes();
// The address of an entry point of the loaded library.
void* NotesEntryPoint(NotesEntry entry);

int32_t NotesErrorCode();
void SetNotesError(int32_t error);
uint16_t NotesLastStatus();
void SetNotesLastStatus(uint16_t status);

// Where the library file lies: the directory of the Notes program that the
// registry names, followed by the system's name for "nnotes.dll". Empty when
// the registry names no Notes program.
std::string NotesLibraryPath();

}  // namespace quorvel
