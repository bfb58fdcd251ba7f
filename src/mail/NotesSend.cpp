// Delivery of a MailMessage through the Notes client: the recipient, subject,
// text, sender and attachments make a memo; the copy address is not passed.
#include "frame/ErrorCodes.h"
#include "message/MailMessage.h"
#include "mail/NotesMailer.h"

namespace quorvel {

bool MailMessage::SendByNotes() {
  NotesMailer mailer(false);
  mailer.AddSendTo(recipient);
  mailer.SetSubject(subject);
  mailer.SetBody(body);
  mailer.SetFrom(notesSender);
  for (size_t i = 0; i < attachmentNames.size(); ++i) {
    if (attachmentSources[i].empty()) {
      mailer.AddAttachment(attachmentNames[i], nullptr);
    } else {
      mailer.AddAttachment(attachmentSources[i], attachmentNames[i].c_str());
    }
  }
  if (!mailer.Send()) {
    errorCode = kErrorNotesSend;
    return false;
  }
  return true;
}

}  // namespace quorvel
