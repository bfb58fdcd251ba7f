// Send runs the memo's steps in order; the first failing one records its
// error and the rest is skipped, but the clean-up always runs and closes
// whatever was opened.
#include "mail/NotesMailer.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <type_traits>

#include "mail/NotesApi.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

constexpr uint16_t kBufferSize = 256;

// Calls an entry point of the loaded library; a status it answers becomes
// the last status.
template <typename Function, typename... Arguments>
auto Call(NotesEntry entry, Arguments... arguments) {
  const auto function = reinterpret_cast<Function>(NotesEntryPoint(entry));
  if constexpr (std::is_same_v<decltype(function(arguments...)), notes::Status>) {
    const notes::Status status = function(arguments...);
    SetNotesLastStatus(status);
    return status;
  } else {
    return function(arguments...);
  }
}

uint16_t Length16(const std::string& text) {
  return static_cast<uint16_t>(std::min<size_t>(text.size(), 0xFFFF));
}

// One memo in the making: the handles Send opened, closed in Finish.
struct Memo {
  notes::Handle file = 0, message = 0, mailBox = 0;
  bool fileOpen = false, messageOpen = false, mailBoxOpen = false;
  notes::Handle lists[3] = {};  // recipients, send-to, copy-to
  uint16_t listSizes[3] = {};
  int allocated = 0;
  char server[kBufferSize] = {};
  char mailFile[kBufferSize] = {};
};

// Records `error` when `status` is a failure; answers whether it was one.
bool Failed(notes::Status status, int32_t error) {
  if (status == 0) return false;
  SetNotesError(error);
  return true;
}

bool AddHeader(const Memo& memo, uint16_t item, const std::string& value, int32_t error) {
  return !Failed(Call<notes::AddHeaderItemFunction>(NotesEntry::MailAddHeaderItem, memo.message,
                                                    item, value.c_str(), Length16(value)),
                 error);
}

}  // namespace

NotesMailer::NotesMailer(bool threadFlag) : threadFlag_(threadFlag) {
  if (!threadFlag_) {
    LoadNotes();
    return;
  }
  if (!NotesLoaded()) {
    SetNotesError(ErrNotesNotInitialized);
    return;
  }
  if (Call<notes::InitFunction>(NotesEntry::NotesInitThread) != 0) {
    SetNotesError(ErrCantInitThread);
    return;
  }
  threadInitialised_ = true;
}

NotesMailer::~NotesMailer() {
  if (threadInitialised_ && NotesLoaded()) Call<notes::InitFunction>(NotesEntry::NotesTermThread);
}

bool NotesMailer::AddAttachment(const std::string& path, const char* name) {
  if (path.empty()) return false;
  attachmentPaths_.push_back(path);
  if (name != nullptr && *name != '\0') {
    attachmentNames_.emplace_back(name);
  } else {
    attachmentNames_.push_back(platform::FileNameOf(path));
  }
  return true;
}

bool NotesMailer::Send() {
  SetNotesError(NoError);
  SetNotesLastStatus(0);
  if (!NotesLoaded()) {
    SetNotesError(ErrNotesNotInitialized);
    return false;
  }
  Memo memo;
  [&] {
    const auto environment = [&](const char* name, char* value, int32_t error) {
      if (Call<notes::GetEnvironmentStringFunction>(NotesEntry::OSGetEnvironmentString, name,
                                                    value, kBufferSize)) {
        return true;
      }
      SetNotesError(error);
      return false;
    };
    if (!environment("MailServer", memo.server, ErrCantGetMailServerName) ||
        !environment("MailFile", memo.mailFile, ErrCantGetMailFileName)) {
      return;
    }
    char path[kBufferSize] = {};
    if (Failed(Call<notes::PathNetConstructFunction>(NotesEntry::OSPathNetConstruct, nullptr,
                                                     memo.server, memo.mailFile, path),
               ErrCantOpenMailFile) ||
        Failed(Call<notes::OpenFunction>(NotesEntry::MailOpenMessageFile, path, &memo.file),
               ErrCantOpenMailFile)) {
      return;
    }
    memo.fileOpen = true;
    if (Failed(Call<notes::CreateMessageFunction>(NotesEntry::MailCreateMessage, memo.file,
                                                  &memo.message),
               ErrCantCreateMessage)) {
      return;
    }
    memo.messageOpen = true;
    const int32_t allocationErrors[3] = {ErrCantAllocateRecipientList, ErrCantAllocateSendToList,
                                         ErrCantAllocateCopyToList};
    for (int list = 0; list < 3; ++list) {
      void* memory = nullptr;
      if (Failed(Call<notes::ListAllocateFunction>(NotesEntry::ListAllocate, uint16_t{0},
                                                   uint16_t{0}, true, &memo.lists[list], &memory,
                                                   &memo.listSizes[list]),
                 allocationErrors[list])) {
        return;
      }
      ++memo.allocated;
      Call<notes::UnlockObjectFunction>(NotesEntry::OSUnlockObject, memo.lists[list]);
    }
    if (sendTo_.empty()) {
      SetNotesError(ErrNoRecipien);
      return;
    }
    uint16_t recipientCount = 0;
    const auto addEntry = [&](int list, uint16_t entry, const std::string& text, int32_t error) {
      return !Failed(Call<notes::ListAddEntryFunction>(NotesEntry::ListAddEntry, memo.lists[list],
                                                       true, &memo.listSizes[list], entry,
                                                       text.c_str(), Length16(text)),
                     error);
    };
    for (size_t i = 0; i < sendTo_.size(); ++i) {
      if (!addEntry(1, static_cast<uint16_t>(i), sendTo_[i], ErrCantAddToSendList) ||
          !addEntry(0, recipientCount++, sendTo_[i], ErrCantAddToRecipientList)) {
        return;
      }
    }
    for (size_t i = 0; i < copyTo_.size(); ++i) {
      if (!addEntry(2, static_cast<uint16_t>(i), copyTo_[i], ErrCantAddToCopyList) ||
          !addEntry(0, recipientCount++, copyTo_[i], ErrCantAddToRecipientList)) {
        return;
      }
    }
    if (Failed(Call<notes::AddRecipientsItemFunction>(NotesEntry::MailAddRecipientsItem,
                                                      memo.message, memo.lists[0],
                                                      memo.listSizes[0]),
               ErrCantSetRecipient)) {
      return;
    }
    for (const auto& [item, list, error] : {std::tuple{notes::kItemSendTo, 1, ErrCantSetSendTo},
                                            std::tuple{notes::kItemCopyTo, 2, ErrCantSetCopyTo}}) {
      if (Failed(Call<notes::AddHeaderItemByHandleFunction>(
                     NotesEntry::MailAddHeaderItemByHandle, memo.message, item, memo.lists[list],
                     memo.listSizes[list], uint16_t{0}),
                 error)) {
        return;
      }
    }
    std::string from = from_;
    if (from.empty()) {
      char user[kBufferSize] = {};
      if (Failed(Call<notes::GetUserNameFunction>(NotesEntry::SECKFMGetUserName, user),
                 ErrCantSetFrom)) {
        return;
      }
      from = user;
    }
    if (!AddHeader(memo, notes::kItemForm, "Memo", ErrCantSetForm) ||
        !AddHeader(memo, notes::kItemFrom, from, ErrCantSetFrom) ||
        !AddHeader(memo, notes::kItemSubject, subject_, ErrCantSetSubject) ||
        !AddHeader(memo, notes::kItemDeliveryPriority, "N", ErrCantSetPriority) ||
        !AddHeader(memo, notes::kItemDeliveryReport, "B", ErrCantSetDeliveryReport)) {
      return;
    }
    notes::TimeDate now{};
    Call<notes::CurrentTimeDateFunction>(NotesEntry::OSCurrentTIMEDATE, &now);
    const std::string nowBytes(reinterpret_cast<const char*>(&now), sizeof now);
    if (!AddHeader(memo, notes::kItemComposedDate, nowBytes, ErrCantSetComposedDate) ||
        !AddHeader(memo, notes::kItemPostedDate, nowBytes, ErrCantSetPostedDate)) {
      return;
    }
    notes::Handle bodyItem = 0;
    uint32_t bodyLength = 0;
    if (Failed(Call<notes::CreateBodyItemFunction>(NotesEntry::MailCreateBodyItem, &bodyItem,
                                                   &bodyLength),
               ErrCantCreateBody) ||
        Failed(Call<notes::AppendBodyItemLineFunction>(NotesEntry::MailAppendBodyItemLine,
                                                       bodyItem, &bodyLength, body_.c_str(),
                                                       Length16(body_)),
               ErrCantAppendBodyItemLine) ||
        Failed(Call<notes::AddBodyItemFunction>(NotesEntry::MailAddBodyItem, memo.message,
                                                bodyItem, bodyLength, nullptr),
               ErrCantAppendAddBody)) {
      return;
    }
    for (size_t i = 0; i < attachmentPaths_.size(); ++i) {
      if (Failed(Call<notes::AttachFileFunction>(NotesEntry::NSFNoteAttachFile, memo.message,
                                                 "$FILE", uint16_t{5},
                                                 attachmentPaths_[i].c_str(),
                                                 attachmentNames_[i].c_str(),
                                                 notes::kAttachEncoding),
                 ErrCantAttachFile)) {
        return;
      }
    }
    char boxPath[kBufferSize] = {};
    if (Failed(Call<notes::PathNetConstructFunction>(NotesEntry::OSPathNetConstruct, nullptr,
                                                     memo.server, "mail.box", boxPath),
               ErrCantOpenMailbox) ||
        Failed(Call<notes::OpenFunction>(NotesEntry::NSFDbOpen, boxPath, &memo.mailBox),
               ErrCantOpenMailbox)) {
      return;
    }
    memo.mailBoxOpen = true;
    // The copy in mail.box is the message under a new identity; then the
    // message gets its own back and stays in the user's mail file.
    uint32_t noteId = 0;
    notes::Handle database = 0;
    notes::OriginatorId oid{}, newOid{};
    Call<notes::NoteInfoFunction>(NotesEntry::NSFNoteGetInfo, memo.message, notes::kNoteId,
                                  static_cast<void*>(&noteId));
    Call<notes::NoteInfoFunction>(NotesEntry::NSFNoteGetInfo, memo.message, notes::kNoteDatabase,
                                  static_cast<void*>(&database));
    Call<notes::NoteInfoFunction>(NotesEntry::NSFNoteGetInfo, memo.message, notes::kNoteOid,
                                  static_cast<void*>(&oid));
    if (Failed(Call<notes::GenerateOidFunction>(NotesEntry::NSFDbGenerateOID, memo.mailBox,
                                                &newOid),
               ErrCantGenerateOID)) {
      return;
    }
    uint32_t noNote = 0;
    const auto setInfo = [&](uint16_t kind, void* value) {
      Call<notes::NoteInfoFunction>(NotesEntry::NSFNoteSetInfo, memo.message, kind, value);
    };
    setInfo(notes::kNoteDatabase, &memo.mailBox);
    setInfo(notes::kNoteId, &noNote);
    setInfo(notes::kNoteOid, &newOid);
    if (Failed(Call<notes::NoteUpdateFunction>(NotesEntry::NSFNoteUpdate, memo.message,
                                               notes::kUpdateForce),
               ErrCantUpdateMessage)) {
      return;
    }
    setInfo(notes::kNoteDatabase, &database);
    setInfo(notes::kNoteId, &noteId);
    setInfo(notes::kNoteOid, &oid);
    Call<notes::NoteUpdateFunction>(NotesEntry::NSFNoteUpdate, memo.message, notes::kUpdateForce);
  }();
  for (int list = 0; list < memo.allocated; ++list) {
    Call<notes::CloseFunction>(NotesEntry::OSMemFree, memo.lists[list]);
  }
  const bool clean = NotesErrorCode() == NoError;
  if (memo.messageOpen &&
      Call<notes::CloseFunction>(NotesEntry::MailCloseMessage, memo.message) != 0 && clean) {
    SetNotesError(ErrCantCloseMessage);
  }
  if (memo.mailBoxOpen) Call<notes::CloseFunction>(NotesEntry::NSFDbClose, memo.mailBox);
  if (memo.fileOpen &&
      Call<notes::CloseFunction>(NotesEntry::MailCloseMessageFile, memo.file) != 0 &&
      NotesErrorCode() == NoError) {
    SetNotesError(ErrCantCloseMessageFile);
  }
  return NotesErrorCode() == NoError && NotesLastStatus() == 0;
}

}  // namespace quorvel
