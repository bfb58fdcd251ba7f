// Sending mail records with the transport of the calling thread's context,
// one message per recipient, and the store-and-forward discipline of the
// out and sent directories around it.
#pragma once

#include <string>

#include "quorvel/MailData.h"

namespace quorvel {

// Delivers the mail once per "to" address (only the first carries the copy
// address) by MAPI, Notes or SMTP; false at the first failure, with the
// context's lastError set, and false with 32774 for a mail without any. Each SMTP delivery uses the sender it was given,
// whatever other threads send meanwhile. A server's refusal leaves its reply
// line in `serverReply` when one is given.
bool DeliverMailData(const MailData& mail, std::string* serverReply = nullptr);

// Delivers; a sent mail moves to the sent directory, an unsent one is
// logged (with the server's reply line after the error message when a
// server refused it) and moved to the out directory (when those are set).
bool SendMailFromMailData(MailData& mail);
// The same for a mail-data file; one without recipients is left where it
// is (32774).
bool SendMailFromFile(const char* path);
// Sends every mail-data file of a directory once, leaving those without
// recipients where they are; always true.
bool SendMails(const char* directory);

}  // namespace quorvel
