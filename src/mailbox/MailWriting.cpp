#include "mailbox/MailWriting.h"

#include <optional>

#include "mailbox/Mailbox.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

// A filed item's temporary file is no longer needed; the index goes to disk.
// A file that could not be filed stays where it is.
bool Filed(Mailbox& mailbox, uint32_t id, const std::string& temporaryPath) {
  if (id == kNoItem) return false;
  platform::RemoveFile(temporaryPath);
  return mailbox.SaveIndex();
}

}  // namespace

bool PupilWriteMail(ThreadContext* context, const exchange::PupilMailContent& content,
                    const std::string& recipient, uint32_t answeredIndex) {
  Mailbox* mailbox = MailboxOf(context);
  if (recipient.empty() || mailbox == nullptr) return false;
  const MailboxIndex& index = mailbox->Index();
  const bool answers = answeredIndex < index.Count();
  std::optional<std::string> answeredPath;
  if (answers) answeredPath = mailbox->PathOf(index.EntryAt(answeredIndex));
  const std::optional<std::string> path = exchange::WritePupilMailFile(content, answeredPath);
  if (!path) return false;
  const uint32_t id =
      answers ? mailbox->FileReply(*path, index.IdAt(answeredIndex), recipient, CodedText::Default())
              : mailbox->FileNewMail(*path, {recipient}, CodedTextArray());
  return Filed(*mailbox, id, *path);
}

bool TutorReplyToMail(ThreadContext* context, const exchange::TutorReplyContent& content,
                      uint32_t answeredIndex, const std::string& recipient) {
  Mailbox* mailbox = MailboxOf(context);
  if (recipient.empty() || mailbox == nullptr || answeredIndex >= mailbox->Index().Count()) {
    return false;
  }
  const MailboxIndex& index = mailbox->Index();
  const std::optional<exchange::WrittenTutorReply> reply =
      exchange::WriteTutorReplyFile(mailbox->PathOf(index.EntryAt(answeredIndex)), content);
  if (!reply) return false;
  const uint32_t id =
      mailbox->FileReply(reply->path, index.IdAt(answeredIndex), recipient, reply->reference);
  return Filed(*mailbox, id, reply->path);
}

bool AddNewMail(ThreadContext* context, const std::string& path,
                const std::vector<std::string>& recipients, const CodedTextArray& names) {
  Mailbox* mailbox = MailboxOf(context);
  if (recipients.empty() || mailbox == nullptr) return false;
  if (mailbox->FileNewMail(path, recipients, names) == kNoItem) return false;
  return mailbox->SaveIndex();
}

}  // namespace quorvel
