// UserDataSet, block 10700 of the root block: the pupil's learning data.
// The "options.ini" and "options.upd" files lie at tags 10701 and 10704;
// the tracking, diagnostic and learning-path files are lists in the
// sub-blocks 10702, 10703 and 11705, file i at tag i.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exchange/RecordFile.h"
#include "quorvel/CodedTextArray.h"

namespace quorvel::exchange {

struct UserDataPaths {
  std::vector<std::string> tracking;
  std::vector<std::string> diagnostic;
  std::string optionsIni;  // stored only when it names an existing file
  std::vector<std::string> learningPath;
  std::string optionsUpd;  // stored only when it names an existing file
};

struct UserDataSet {
  static constexpr uint16_t kTagOptionsIni = 10701;
  static constexpr uint16_t kTagTracking = 10702;
  static constexpr uint16_t kTagDiagnostic = 10703;
  static constexpr uint16_t kTagOptionsUpd = 10704;
  static constexpr uint16_t kTagLearningPath = 11705;

  // Stores every file under its default display name and appends the names
  // (tracking, diagnostic, "options.ini", learning-path, "options.upd") to
  // the NameHistory. Fails when the block exists already; the two options
  // files do not count towards the result, every list file does.
  static bool Write(RecordFile& file, const UserDataPaths& paths);
  // Fails, changing nothing, without the block; else fills every field.
  bool Read(RecordFile& file);

  // Writes entry `index` of the list in sub-block `listTag` (kTagTracking,
  // kTagDiagnostic or kTagLearningPath) to `targetPath`.
  static bool ExtractListEntry(RecordFile& file, uint16_t listTag, uint32_t index,
                               const std::string& targetPath);
  // Writes one of the options files (kTagOptionsIni or kTagOptionsUpd).
  static bool ExtractOptionsFile(RecordFile& file, uint16_t tag, const std::string& targetPath);

  CodedTextArray trackingNames;
  CodedTextArray diagnosticNames;
  CodedTextArray learningPathNames;
  uint16_t trackingCount = 0;
  uint16_t diagnosticCount = 0;
  uint16_t optionsIniPresent = 0;
  uint16_t learningPathCount = 0;
  uint16_t optionsUpdPresent = 0;
};

}  // namespace quorvel::exchange
