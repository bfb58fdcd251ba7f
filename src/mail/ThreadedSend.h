// Sending one mail in the background: a worker thread joins the caller's
// context, delivers the mail, calls the host's completion callback on its
// own thread and leaves. The host's thread can poll the progress and stop,
// suspend or resume the worker meanwhile. At most one worker per context.
#pragma once

#include <cstdint>

#include "quorvel/Handles.h"
#include "quorvel/MailData.h"

namespace quorvel {

// False when the caller has no context, a worker runs already, or no thread
// can be made. The mail must stay alive until the completion callback ran.
bool ThreadedSendMail(MailData* mail, CompletionCallback callback, uint32_t userValue);
// Each waits only until the worker has obeyed, suspended itself or ended;
// called on the worker's own thread (from a progress callback) neither
// waits: the request is obeyed at the next checkpoint.
bool StopThreadedSend();
// True when the worker suspended itself.
bool SuspendThreadedSend();
bool ResumeThreadedSend();

}  // namespace quorvel
