// The files stored in a mailbox item, as the host counts and extracts them:
// attachments and the pupil's learning data of the item at a position of the
// calling context's mailbox, read through the mailbox's working copy so that
// the stored item never changes. Every failure answers -1 or false.
#pragma once

#include <cstdint>

#include "frame/ThreadContext.h"
#include "quorvel/CodedText.h"

namespace quorvel {

int32_t CountAttachments(ThreadContext* context, uint32_t itemIndex);
// Copies the name of attachment `attachmentIndex` into `name` and writes the
// file to `targetPath`, each when given.
bool GetAttachment(ThreadContext* context, uint32_t itemIndex, int32_t attachmentIndex,
                   CodedText* name, const char* targetPath);

struct UserDataCounts {
  uint16_t* tracking;
  uint16_t* diagnostic;
  uint16_t* optionsIniPresent;
  uint16_t* learningPath;
  uint16_t* optionsUpdPresent;
};
// Fails, writing nothing, when the item has no learning data.
bool GetUserDataCounts(ThreadContext* context, uint32_t itemIndex, const UserDataCounts& counts);

// Entry `fileIndex` of one learning-data list: the tracking, diagnostic or
// learning-path files (UserDataSet::kTagTracking, kTagDiagnostic,
// kTagLearningPath).
bool GetUserDataListFile(ThreadContext* context, uint32_t itemIndex, uint16_t listTag,
                         int32_t fileIndex, CodedText* name, const char* targetPath);
// "options.ini" or "options.upd" (UserDataSet::kTagOptionsIni,
// kTagOptionsUpd); the name is always that fixed name in code page 1252.
bool GetUserOptionsFile(ThreadContext* context, uint32_t itemIndex, uint16_t tag, CodedText* name,
                        const char* targetPath);

}  // namespace quorvel
