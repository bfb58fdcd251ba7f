// A stand-in Simple MAPI provider: records MAPISendMail with the whole
// message it was given. Built without MAPIFindNext it is an invalid provider.
#include "StandInLog.h"
#include "mail/SimpleMapi.h"

using quorvel::mapi::MapiMessage;

extern "C" {

__attribute__((visibility("default"))) uint32_t MAPISendMail(uintptr_t session,
                                                             uintptr_t window,
                                                             MapiMessage* message,
                                                             uint32_t flags, uint32_t reserved) {
  std::string arguments = std::to_string(session) + ", " + std::to_string(window) + ", " +
                          std::to_string(flags) + ", " + std::to_string(reserved);
  const quorvel::mapi::MapiRecipDesc& from = *message->lpOriginator;
  arguments += "; subject " + standin::Shown(message->lpszSubject) + ", note " +
               standin::Shown(message->lpszNoteText) + ", originator " +
               (from.lpszName == nullptr && from.lpszAddress == nullptr && from.ulRecipClass == 0
                    ? "empty"
                    : "set");
  for (uint32_t i = 0; i < message->nRecipCount; ++i) {
    const auto& recipient = message->lpRecips[i];
    arguments += "; recipient " + std::to_string(recipient.ulRecipClass) + " " +
                 standin::Shown(recipient.lpszName) + " " + standin::Shown(recipient.lpszAddress);
  }
  for (uint32_t i = 0; i < message->nFileCount; ++i) {
    const auto& file = message->lpFiles[i];
    arguments += "; file " + std::to_string(file.nPosition) + " " +
                 standin::Shown(file.lpszPathName) + " " + standin::Shown(file.lpszFileName);
  }
  return static_cast<uint32_t>(standin::Record("MAPISendMail", arguments));
}

__attribute__((visibility("default"))) uint32_t MAPIReadMail() {
  return static_cast<uint32_t>(standin::Record("MAPIReadMail", ""));
}

#ifndef STANDIN_INCOMPLETE
__attribute__((visibility("default"))) uint32_t MAPIFindNext() {
  return static_cast<uint32_t>(standin::Record("MAPIFindNext", ""));
}
#endif
}
