// Library-wide state of the frame and the library's load and unload.
#pragma once

#include <cstdint>

namespace quorvel {

// Registered message numbers of the progress messages.
uint32_t SmtpMessageNumber();  // "MESSAGES_SMTP"
uint32_t PopMessageNumber();   // "MESSAGES_POP"

// Load: registers the message names. Unload: destroys every context left
// and removes the working directories.
void OnLibraryLoad();
void OnLibraryUnload();

}  // namespace quorvel
