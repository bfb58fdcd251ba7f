#include "exchange/AttachmentList.h"

#include "exchange/NameHistory.h"
#include "exchange/RecordKinds.h"
#include "exchange/StoredFileList.h"

namespace quorvel::exchange {

bool AttachmentList::Write(RecordFile& file, const std::vector<std::string>& paths,
                           const CodedTextArray* names) {
  if (paths.empty()) return false;
  if (file.EnterBlock(kBlockAttachments)) {
    file.LeaveBlock();
    return false;
  }
  if (!file.CreateBlock(kBlockAttachments)) return false;
  std::vector<CodedText> displayNames;
  for (uint32_t i = 0; i < paths.size(); ++i) {
    const bool named = names != nullptr && i < names->Size() && !(*names)[i].text.IsEmpty();
    displayNames.push_back(named ? (*names)[i] : DefaultDisplayName(paths[i]));
  }
  const bool allStored = PutFileList(file, kTagFirst, paths, displayNames);
  file.LeaveBlock();
  NameHistory::Append(file, displayNames);
  return allStored;
}

uint16_t AttachmentList::Read(RecordFile& file, CodedTextArray& names) {
  if (!file.EnterBlock(kBlockAttachments)) return 0;
  names.RemoveAll();
  const uint16_t count = ReadFileList(file, kTagFirst, &names);
  file.LeaveBlock();
  return count;
}

bool AttachmentList::Extract(RecordFile& file, uint32_t index, const std::string& targetPath) {
  if (!file.EnterBlock(kBlockAttachments)) return false;
  const bool extracted = ExtractFromFileList(file, kTagFirst, index, targetPath);
  file.LeaveBlock();
  return extracted;
}

}  // namespace quorvel::exchange
