// The records and the one call of Simple MAPI that the library uses, in
// their published layout, shared with the stand-in providers of the tests.
#pragma once

#include <cstdint>

namespace quorvel::mapi {

inline constexpr uint32_t kRecipientTo = 1;   // MAPI_TO
inline constexpr uint32_t kLogonUi = 0x1;     // MAPI_LOGON_UI
inline constexpr uint32_t kSuccess = 0;       // SUCCESS_SUCCESS
inline constexpr uint32_t kUserAbort = 1;     // MAPI_USER_ABORT
inline constexpr uint32_t kLogonFailure = 3;  // MAPI_E_LOGIN_FAILURE

struct MapiRecipDesc {
  uint32_t ulReserved;
  uint32_t ulRecipClass;
  char* lpszName;
  char* lpszAddress;
  uint32_t ulEIDSize;
  void* lpEntryID;
};

struct MapiFileDesc {
  uint32_t ulReserved;
  uint32_t flFlags;
  uint32_t nPosition;
  char* lpszPathName;
  char* lpszFileName;
  void* lpFileType;
};

struct MapiMessage {
  uint32_t ulReserved;
  char* lpszSubject;
  char* lpszNoteText;
  char* lpszMessageType;
  char* lpszDateReceived;
  char* lpszConversationID;
  uint32_t flFlags;
  MapiRecipDesc* lpOriginator;
  uint32_t nRecipCount;
  MapiRecipDesc* lpRecips;
  uint32_t nFileCount;
  MapiFileDesc* lpFiles;
};

// MAPISendMail (session, parent window, message, flags, reserved).
using SendMailFunction = uint32_t (*)(uintptr_t session, uintptr_t parentWindow,
                                      MapiMessage* message, uint32_t flags, uint32_t reserved);

}  // namespace quorvel::mapi
