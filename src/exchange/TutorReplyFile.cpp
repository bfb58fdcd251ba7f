#include "exchange/TutorReplyFile.h"

#include "exchange/AttachmentList.h"
#include "exchange/ExchangeFile.h"
#include "exchange/PupilMessage.h"
#include "exchange/RecordKinds.h"
#include "exchange/TutorReply.h"

namespace quorvel::exchange {

std::optional<CodedText> WriteTutorReplyFile(const std::string& answeredPath,
                                             const TutorReplyContent& content,
                                             const std::string& path,
                                             const ItemFinisher& finish) {
  ExchangeFile answered;
  if (!answered.Open(answeredPath, true, false)) return std::nullopt;
  const uint8_t kind = answered.Kind();
  PupilMessage pupilMail;
  const bool readable =
      (kind == kKindPupilMail || kind == kKindTimedMessage) && pupilMail.Read(answered);
  answered.Close();
  if (!readable) return std::nullopt;
  ExchangeFile file;
  if (!file.Open(path, false, true)) return std::nullopt;
  file.SetKind(kKindTutorReply);
  TutorReply reply;
  reply.number = content.number;
  reply.correspondent = content.correspondent;
  reply.text = content.text;
  reply.pupilNumber = pupilMail.number;
  reply.reference = pupilMail.reference;
  reply.Write(file);
  if (!content.attachments.empty()) AttachmentList::Write(file, content.attachments);
  if (!FinishAndPack(file, finish)) return std::nullopt;
  return reply.reference;
}

bool CheckTutorReplyFile(const std::string& path, CodedText& reference) {
  ExchangeFile file;
  bool valid = false;
  TutorReply reply;
  if (file.Open(path, true, false)) {
    valid = file.Kind() == kKindTutorReply && reply.Read(file);
    file.Close();
  }
  reference = valid ? reply.reference : CodedText::Default();
  return valid;
}

}  // namespace quorvel::exchange
