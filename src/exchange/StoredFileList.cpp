#include "exchange/StoredFileList.h"

#include "text/WideText.h"
#include "platform/CodePages.h"
#include "platform/Paths.h"

namespace quorvel::exchange {

namespace {

constexpr uint32_t kLastTag = 0xFFFF;

}  // namespace

CodedText DefaultDisplayName(const std::string& path) {
  const std::string name = platform::FileNameOf(path);
  return CodedTextFromMultiByte(name, static_cast<uint16_t>(platform::AnsiCodePage()));
}

bool PutFileList(RecordFile& file, uint16_t firstTag, const std::vector<std::string>& paths,
                 const std::vector<CodedText>& names) {
  bool allStored = true;
  for (size_t i = 0; i < paths.size(); ++i) {
    const uint32_t tag = firstTag + i;
    // A tag past the last one cannot hold the file: it is not stored.
    const bool stored = tag <= kLastTag && i < names.size() &&
                        file.PutFile(static_cast<uint16_t>(tag), paths[i], names[i]);
    allStored = allStored && stored;
  }
  return allStored;
}

uint16_t ReadFileList(RecordFile& file, uint16_t firstTag, CodedTextArray* names) {
  uint16_t count = 0;
  for (uint32_t tag = firstTag; tag <= kLastTag && count < kLastTag; ++tag) {
    CodedText name;
    uint32_t size = 0;
    if (!file.GetFileInfo(static_cast<uint16_t>(tag), name, size)) break;
    if (names != nullptr) names->Add(name);
    ++count;
  }
  return count;
}

bool ExtractFromFileList(RecordFile& file, uint16_t firstTag, uint32_t index,
                         const std::string& targetPath) {
  if (index >= ReadFileList(file, firstTag, nullptr)) return false;
  return file.ExtractFile(static_cast<uint16_t>(firstTag + index), targetPath, true);
}

}  // namespace quorvel::exchange
