// The suspend flag is cleared only once the thread counts as suspended, so a
// host that resumes as soon as it sees the flag cleared is never lost.
#include "frame/Checkpoint.h"

#include "platform/Threads.h"

namespace quorvel {

bool StopRequestedAtCheckpoint(const RequestFlags& flags) {
  if (flags.stop != nullptr && flags.stop->load() != 0) {
    flags.stop->store(0);
    return true;
  }
  if (flags.suspend != nullptr && flags.suspend->load() != 0) {
    // A thread the library did not create cannot be resumed from outside:
    // it only clears the request.
    if (!platform::SuspendCurrentThread([&] { flags.suspend->store(0); })) flags.suspend->store(0);
  }
  return false;
}

}  // namespace quorvel
