// The message names are registered at load in a fixed order, so that
// "MESSAGES_SMTP" and "MESSAGES_POP" get the first two numbers of the process.
#include "frame/Library.h"

#include "frame/ContextTable.h"
#include "frame/WorkingDirectory.h"
#include "platform/WindowMessages.h"

namespace quorvel {

uint32_t SmtpMessageNumber() {
  static const uint32_t number = platform::RegisterMessageName("MESSAGES_SMTP");
  return number;
}

uint32_t PopMessageNumber() {
  static const uint32_t number = platform::RegisterMessageName("MESSAGES_POP");
  return number;
}

void OnLibraryLoad() {
  Contexts();  // constructed now, so it outlives whatever unloads the library
  SmtpMessageNumber();
  PopMessageNumber();
}

void OnLibraryUnload() {
  Contexts().DestroyAll();
  ReleaseWorkingDirectories();  // what the contexts' mailboxes left in it
}

}  // namespace quorvel
