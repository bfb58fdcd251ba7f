// Receiving as the host sees it: every waiting message of the context's POP
// server becomes a mail-data file with its attachments in the reception
// directory and a MailData record in the host's list; a message is deleted
// on the server only once its mail-data file is written. Also the loading of
// the mail-data files already received, and the switch that forbids all
// network traffic.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "message/MailMessage.h"
#include "quorvel/MailData.h"

namespace quorvel {

// Fetches every message from the server of the POP settings into
// `directory`; false (message error 6 or 12) only when the connection, the
// login or the count failed.
bool ReceiveByPop(MailMessage& message, MailDataList& list, const std::string& directory);

// The record of a parsed message; its attachments are the part files. The
// body text is taken out of the message (moved, not copied).
MailData RecordOfMessage(MailMessage& message);
// The record of a message that ParseMessageInPlace read, written into
// `directory` (the part files moved there). A body text left in the message
// text is written from there, with CR LF line ends as the record would
// have them; the record's own message then stays empty.
bool WriteRecordOfMessage(MailMessage& message, std::optional<std::string_view> bodyInText,
                          const std::string& directory, MailData& record);

bool ReceiveMails(MailDataList& list);
bool GetMails(MailDataList& list);
// Sets or clears both the SMTP and the POP forbidden flags.
void ForbidConnections(bool forbidden);

}  // namespace quorvel
