// Delivery of a MailMessage through Simple MAPI: the recipient, subject,
// text and attachments go to the provider; the copy address is not passed.
#include "frame/ErrorCodes.h"
#include "message/MailMessage.h"
#include "mail/MapiMailer.h"

namespace quorvel {

bool MailMessage::SendByMapi() {
  MapiMailer mailer;
  if (mailer.TakeState() != MapiMailer::kReady) {
    errorCode = kErrorMapiInitialize;
    return false;
  }
  mailer.SetSubject(subject);
  mailer.SetNoteText(body);
  for (size_t i = 0; i < attachmentNames.size(); ++i) {
    if (attachmentSources[i].empty()) {
      mailer.AddFile(attachmentNames[i], nullptr);
    } else {
      mailer.AddFile(attachmentSources[i], attachmentNames[i].c_str());
    }
  }
  mailer.AddRecipient(recipient);
  if (!mailer.Send(0)) {
    errorCode = kErrorMapiSend;
    return false;
  }
  return true;
}

}  // namespace quorvel
