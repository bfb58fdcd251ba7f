#include "exchange/PupilMailFile.h"

#include "exchange/AttachmentList.h"
#include "exchange/ExchangeFile.h"
#include "exchange/RecordKinds.h"
#include "exchange/UserDataSet.h"
#include "platform/FileSystem.h"

namespace quorvel::exchange {

namespace {

bool IsTutorReplyFile(const std::string& path) {
  ExchangeFile answered;
  if (!answered.Open(path, true, false)) return false;
  const bool isReply = answered.Kind() == kKindTutorReply;
  answered.Close();
  return isReply;
}

}  // namespace

bool WritePupilMailFile(const PupilMailContent& content,
                        const std::optional<std::string>& answeredPath, const std::string& path,
                        const ItemFinisher& finish) {
  if (answeredPath && !IsTutorReplyFile(*answeredPath)) return false;
  ExchangeFile file;
  if (!file.Open(path, false, true)) return false;
  file.SetKind(kKindPupilMail);
  content.message.Write(file);
  if (!content.attachments.empty()) AttachmentList::Write(file, content.attachments);
  const bool iniExists = platform::IsExistingFile(content.optionsIni);
  if (!content.tracking.empty() || !content.diagnostic.empty() || iniExists) {
    UserDataPaths paths;
    paths.tracking = content.tracking;
    paths.diagnostic = content.diagnostic;
    if (iniExists) paths.optionsIni = content.optionsIni;
    UserDataSet::Write(file, paths);
  }
  return FinishAndPack(file, finish);
}

}  // namespace quorvel::exchange
