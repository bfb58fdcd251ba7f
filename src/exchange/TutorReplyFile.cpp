#include "exchange/TutorReplyFile.h"

#include "exchange/AttachmentList.h"
#include "exchange/ExchangeFile.h"
#include "exchange/PupilMessage.h"
#include "exchange/RecordKinds.h"
#include "exchange/TutorReply.h"
#include "frame/UniqueNames.h"
#include "platform/FileSystem.h"

namespace quorvel::exchange {

std::optional<WrittenTutorReply> WriteTutorReplyFile(const std::string& answeredPath,
                                                     const TutorReplyContent& content) {
  ExchangeFile answered;
  if (!answered.Open(answeredPath, true, false)) return std::nullopt;
  const uint8_t kind = answered.Kind();
  if (kind != kKindPupilMail && kind != kKindTimedMessage) {
    answered.Close();
    return std::nullopt;
  }
  const std::string path = UniqueTempName("qv6");
  ExchangeFile file;
  if (!file.Open(path, false, true)) {
    answered.Close();
    return std::nullopt;
  }
  file.SetKind(kKindTutorReply);
  PupilMessage pupilMail;
  if (!pupilMail.Read(answered)) {
    answered.Close();
    file.Close();
    platform::RemoveFile(path);
    return std::nullopt;
  }
  TutorReply reply;
  reply.number = content.number;
  reply.correspondent = content.correspondent;
  reply.text = content.text;
  reply.pupilNumber = pupilMail.number;
  reply.reference = pupilMail.reference;
  reply.Write(file);
  if (!content.attachments.empty()) AttachmentList::Write(file, content.attachments);
  file.Close();
  answered.Close();
  return WrittenTutorReply{path, reply.reference};
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
