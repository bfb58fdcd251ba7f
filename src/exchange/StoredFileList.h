// Lists of whole files stored in an item: file i of a list lies at tag
// first + i of one block, and the list read back is the run of consecutive
// File values from the first tag. Attachments and the learning-data lists
// are kept this way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exchange/RecordFile.h"
#include "quorvel/CodedText.h"
#include "quorvel/CodedTextArray.h"

namespace quorvel::exchange {

// The name a file is stored under unless its writer gives one: the file name
// and extension of `path`, in the system's ANSI code page.
CodedText DefaultDisplayName(const std::string& path);

// Puts file i of `paths` under tag `firstTag` + i of the current block with
// name i of `names`; answers true only when every file was stored. A file
// that is refused (empty, unreadable) leaves its tag unused.
bool PutFileList(RecordFile& file, uint16_t firstTag, const std::vector<std::string>& paths,
                 const std::vector<CodedText>& names);

// Appends the name of every file of the run from `firstTag` in the current
// block to `names` (when given); answers the length of the run.
uint16_t ReadFileList(RecordFile& file, uint16_t firstTag, CodedTextArray* names);

// Writes file `index` of the run from `firstTag` to `targetPath`, replacing
// an existing target; fails when the index is not below the run's length.
bool ExtractFromFileList(RecordFile& file, uint16_t firstTag, uint32_t index,
                         const std::string& targetPath);

}  // namespace quorvel::exchange
