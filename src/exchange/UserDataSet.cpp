#include "exchange/UserDataSet.h"

#include "exchange/NameHistory.h"
#include "exchange/RecordKinds.h"
#include "exchange/StoredFileList.h"
#include "platform/FileSystem.h"

namespace quorvel::exchange {

namespace {

std::vector<CodedText> DisplayNames(const std::vector<std::string>& paths) {
  std::vector<CodedText> names;
  for (const std::string& path : paths) names.push_back(DefaultDisplayName(path));
  return names;
}

// Stores a non-empty list in its own sub-block of the current block and
// clears `allStored` when a file is not stored; fails when the sub-block
// cannot be made.
bool WriteList(RecordFile& file, uint16_t listTag, const std::vector<std::string>& paths,
               bool& allStored) {
  if (paths.empty()) return true;
  if (!file.CreateBlock(listTag)) return false;
  if (!PutFileList(file, 0, paths, DisplayNames(paths))) allStored = false;
  file.LeaveBlock();
  return true;
}

// Reads the names of the list in sub-block `listTag`; an absent list is empty.
uint16_t ReadList(RecordFile& file, uint16_t listTag, CodedTextArray& names) {
  names.RemoveAll();
  if (!file.EnterBlock(listTag)) return 0;
  const uint16_t count = ReadFileList(file, 0, &names);
  file.LeaveBlock();
  return count;
}

bool HasFile(RecordFile& file, uint16_t tag) {
  CodedText name;
  uint32_t size = 0;
  return file.GetFileInfo(tag, name, size);
}

}  // namespace

bool UserDataSet::Write(RecordFile& file, const UserDataPaths& paths) {
  if (file.EnterBlock(kBlockUserData)) {
    file.LeaveBlock();
    return false;
  }
  if (!file.CreateBlock(kBlockUserData)) return false;
  const bool iniExists = platform::IsExistingFile(paths.optionsIni);
  const bool updExists = platform::IsExistingFile(paths.optionsUpd);
  bool allStored = true;
  if (!WriteList(file, kTagTracking, paths.tracking, allStored) ||
      !WriteList(file, kTagDiagnostic, paths.diagnostic, allStored)) {
    file.LeaveBlock();
    return false;
  }
  if (iniExists) file.PutFile(kTagOptionsIni, paths.optionsIni, DefaultDisplayName(paths.optionsIni));
  if (!WriteList(file, kTagLearningPath, paths.learningPath, allStored)) {
    file.LeaveBlock();
    return false;
  }
  if (updExists) file.PutFile(kTagOptionsUpd, paths.optionsUpd, DefaultDisplayName(paths.optionsUpd));
  file.LeaveBlock();

  std::vector<CodedText> names = DisplayNames(paths.tracking);
  for (CodedText& name : DisplayNames(paths.diagnostic)) names.push_back(std::move(name));
  if (iniExists) names.push_back(DefaultDisplayName(paths.optionsIni));
  for (CodedText& name : DisplayNames(paths.learningPath)) names.push_back(std::move(name));
  if (updExists) names.push_back(DefaultDisplayName(paths.optionsUpd));
  NameHistory::Append(file, names);
  return allStored;
}

bool UserDataSet::Read(RecordFile& file) {
  if (!file.EnterBlock(kBlockUserData)) return false;
  optionsIniPresent = HasFile(file, kTagOptionsIni) ? 1 : 0;
  optionsUpdPresent = HasFile(file, kTagOptionsUpd) ? 1 : 0;
  trackingCount = ReadList(file, kTagTracking, trackingNames);
  diagnosticCount = ReadList(file, kTagDiagnostic, diagnosticNames);
  learningPathCount = ReadList(file, kTagLearningPath, learningPathNames);
  file.LeaveBlock();
  return true;
}

bool UserDataSet::ExtractListEntry(RecordFile& file, uint16_t listTag, uint32_t index,
                                   const std::string& targetPath) {
  if (!file.EnterBlock(kBlockUserData)) return false;
  bool extracted = false;
  if (file.EnterBlock(listTag)) {
    extracted = ExtractFromFileList(file, 0, index, targetPath);
    file.LeaveBlock();
  }
  file.LeaveBlock();
  return extracted;
}

bool UserDataSet::ExtractOptionsFile(RecordFile& file, uint16_t tag, const std::string& targetPath) {
  if (!file.EnterBlock(kBlockUserData)) return false;
  const bool extracted = file.ExtractFile(tag, targetPath, true);
  file.LeaveBlock();
  return extracted;
}

}  // namespace quorvel::exchange
