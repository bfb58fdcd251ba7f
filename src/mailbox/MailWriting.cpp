#include "mailbox/MailWriting.h"

#include <optional>

#include "mailbox/Mailbox.h"

namespace quorvel {

bool PupilWriteMail(ThreadContext* context, const exchange::PupilMailContent& content,
                    const std::string& recipient, uint32_t answeredIndex) {
  Mailbox* mailbox = MailboxOf(context);
  if (recipient.empty() || mailbox == nullptr) return false;
  const MailboxIndex& index = mailbox->Index();
  const bool answers = answeredIndex < index.Count();
  std::optional<std::string> answeredPath;
  if (answers) answeredPath = mailbox->PathOf(index.EntryAt(answeredIndex));
  const uint32_t parentId = answers ? index.IdAt(answeredIndex) : 0;
  const uint32_t id = mailbox->FileWritten(
      parentId, recipient,
      [&](const std::string& path, const exchange::ItemFinisher& finish) -> std::optional<CodedText> {
        if (!exchange::WritePupilMailFile(content, answeredPath, path, finish)) return std::nullopt;
        return CodedText::Default();
      });
  return id != kNoItem && mailbox->SaveIndex();
}

bool TutorReplyToMail(ThreadContext* context, const exchange::TutorReplyContent& content,
                      uint32_t answeredIndex, const std::string& recipient) {
  Mailbox* mailbox = MailboxOf(context);
  if (recipient.empty() || mailbox == nullptr || answeredIndex >= mailbox->Index().Count()) {
    return false;
  }
  const MailboxIndex& index = mailbox->Index();
  const std::string answeredPath = mailbox->PathOf(index.EntryAt(answeredIndex));
  const uint32_t id = mailbox->FileWritten(
      index.IdAt(answeredIndex), recipient,
      [&](const std::string& path, const exchange::ItemFinisher& finish) {
        return exchange::WriteTutorReplyFile(answeredPath, content, path, finish);
      });
  return id != kNoItem && mailbox->SaveIndex();
}

bool AddNewMail(ThreadContext* context, const std::string& path,
                const std::vector<std::string>& recipients, const CodedTextArray& names) {
  Mailbox* mailbox = MailboxOf(context);
  if (recipients.empty() || mailbox == nullptr) return false;
  if (mailbox->FileNewMail(path, recipients, names) == kNoItem) return false;
  return mailbox->SaveIndex();
}

}  // namespace quorvel
