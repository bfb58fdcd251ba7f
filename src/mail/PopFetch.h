// The one fetch loop of both receive paths (the mail layer's receive and the
// exchange layer's POP accounts): each waiting message is retrieved and
// parsed while it arrives, its parts written as they come into the
// directory where they are to stay, then handed to the path, which stores
// it and decides when it is deleted on the server.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "message/MailMessage.h"
#include "protocol/PopClient.h"

namespace quorvel {

// Messages 1..count of a logged-in client, in order: each is retrieved and
// parsed into `message`, its part files in `directory` (the temporary
// directory when empty), and given to `take` with its number and, when it
// is at most `keptText` bytes long, its text (else null); the part files
// are the taker's. A message that cannot be had stays on the server and is
// passed over, no part file of it left. The loop ends early when a
// transfer has ended the session (the server closed, a time-out, a cancel)
// or the client's stop request is set.
void FetchEachMessage(PopClient& client, uint16_t count, MailMessage& message,
                      const std::string& directory, size_t keptText,
                      const std::function<void(uint32_t number, const std::string* text)>& take);

// Puts the files on stable storage, then the directories that hold them
// (each once), before their source copy is deleted; false when any of it
// failed. Many files in few directories are flushed with their whole file
// system at once where the system can.
bool SyncToDisk(const std::vector<std::string>& files);

}  // namespace quorvel
