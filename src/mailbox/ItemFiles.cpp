#include "mailbox/ItemFiles.h"

#include "exchange/AttachmentList.h"
#include "exchange/UserDataSet.h"
#include "text/WideText.h"
#include "mailbox/Mailbox.h"
#include "platform/CodePages.h"

namespace quorvel {

namespace {

using exchange::AttachmentList;
using exchange::ExchangeFile;
using exchange::UserDataSet;

// The working copy of the item at `itemIndex`, or null.
ExchangeFile* LoadItemAt(ThreadContext* context, uint32_t itemIndex) {
  Mailbox* mailbox = MailboxOf(context);
  if (mailbox == nullptr || itemIndex >= mailbox->Index().Count()) return nullptr;
  return mailbox->LoadItem(mailbox->Index().IdAt(itemIndex), true);
}

const CodedTextArray* NamesOfList(const UserDataSet& data, uint16_t listTag) {
  switch (listTag) {
    case UserDataSet::kTagTracking: return &data.trackingNames;
    case UserDataSet::kTagDiagnostic: return &data.diagnosticNames;
    case UserDataSet::kTagLearningPath: return &data.learningPathNames;
    default: return nullptr;
  }
}

void Store(uint16_t* output, uint16_t value) {
  if (output != nullptr) *output = value;
}

}  // namespace

int32_t CountAttachments(ThreadContext* context, uint32_t itemIndex) {
  ExchangeFile* item = LoadItemAt(context, itemIndex);
  if (item == nullptr) return -1;
  CodedTextArray names;
  return AttachmentList::Read(*item, names);
}

bool GetAttachment(ThreadContext* context, uint32_t itemIndex, int32_t attachmentIndex,
                   CodedText* name, const char* targetPath) {
  ExchangeFile* item = LoadItemAt(context, itemIndex);
  if (item == nullptr) return false;
  CodedTextArray names;
  const uint16_t count = AttachmentList::Read(*item, names);
  if (attachmentIndex < 0 || attachmentIndex >= count) return false;
  const auto i = static_cast<uint32_t>(attachmentIndex);
  if (name != nullptr) *name = names[i];
  return targetPath == nullptr || AttachmentList::Extract(*item, i, targetPath);
}

bool GetUserDataCounts(ThreadContext* context, uint32_t itemIndex, const UserDataCounts& counts) {
  ExchangeFile* item = LoadItemAt(context, itemIndex);
  UserDataSet data;
  if (item == nullptr || !data.Read(*item)) return false;
  Store(counts.tracking, data.trackingCount);
  Store(counts.diagnostic, data.diagnosticCount);
  Store(counts.optionsIniPresent, data.optionsIniPresent);
  Store(counts.learningPath, data.learningPathCount);
  Store(counts.optionsUpdPresent, data.optionsUpdPresent);
  return true;
}

bool GetUserDataListFile(ThreadContext* context, uint32_t itemIndex, uint16_t listTag,
                         int32_t fileIndex, CodedText* name, const char* targetPath) {
  ExchangeFile* item = LoadItemAt(context, itemIndex);
  UserDataSet data;
  if (item == nullptr || !data.Read(*item)) return false;
  const CodedTextArray* names = NamesOfList(data, listTag);
  if (names == nullptr || fileIndex < 0 || static_cast<uint32_t>(fileIndex) >= names->Size()) {
    return false;
  }
  const auto i = static_cast<uint32_t>(fileIndex);
  if (name != nullptr) *name = (*names)[i];
  return targetPath == nullptr || UserDataSet::ExtractListEntry(*item, listTag, i, targetPath);
}

bool GetUserOptionsFile(ThreadContext* context, uint32_t itemIndex, uint16_t tag, CodedText* name,
                        const char* targetPath) {
  ExchangeFile* item = LoadItemAt(context, itemIndex);
  UserDataSet data;
  if (item == nullptr || !data.Read(*item)) return false;
  const bool ini = tag == UserDataSet::kTagOptionsIni;
  if ((ini ? data.optionsIniPresent : data.optionsUpdPresent) == 0) return false;
  if (name != nullptr) {
    *name = exchange::CodedTextFromMultiByte(ini ? "options.ini" : "options.upd",
                                             platform::kCodePageWestern);
  }
  return targetPath == nullptr || UserDataSet::ExtractOptionsFile(*item, tag, targetPath);
}

}  // namespace quorvel
