// The registry leads to the Notes program ("Notes.Link" class id, then that
// class's local server); its directory holds the client library. A library
// that lacks any of the 32 entry points is refused rather than half used.
#include "mail/NotesLibrary.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

#include "_Common/Classes/Registry/RegistryKey.h"
#include "mail/NotesApi.h"
#include "platform/DynamicLibrary.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

constexpr std::array<const char*, static_cast<size_t>(NotesEntry::Count)> kEntryNames = {
    "NotesTerm", "NotesInit", "NotesTermThread", "NotesInitThread", "OSLoadString",
    "ConvertTIMEDATEToText", "SECKFMGetUserName", "OSCurrentTIMEDATE", "MailCloseMessageFile",
    "NSFDbClose", "MailCloseMessage", "OSMemFree", "NSFNoteSetInfo", "NSFDbGenerateOID",
    "NSFNoteGetInfo", "NSFDbOpen", "NSFNoteUpdate", "MailTransferMessageLocal",
    "MailAddBodyItem", "MailAppendBodyItemLine", "MailCreateBodyItem", "MailAddHeaderItem",
    "MailAddHeaderItemByHandle", "MailAddRecipientsItem", "ListAddEntry", "OSUnlockObject",
    "ListAllocate", "MailCreateMessage", "MailOpenMessageFile", "OSPathNetConstruct",
    "OSGetEnvironmentString", "NSFNoteAttachFile",
};

struct LoadedNotes {
  std::mutex lock;  // held while loading and unloading
  std::unique_ptr<platform::DynamicLibrary> library;
  std::array<std::atomic<void*>, kEntryNames.size()> entries{};
  std::atomic<bool> loaded{false};
  std::atomic<int32_t> error{NoError};
  std::atomic<uint16_t> status{0};
};

LoadedNotes& Notes() {
  static LoadedNotes notes;
  return notes;
}

std::string DefaultValue(const std::string& path) {
  RegistryKey key(platform::RegistryRoot::ClassesRoot);
  std::string value;
  if (!key.Open(platform::RegistryRoot::ClassesRoot, path, platform::kRegistryRead) ||
      !key.ReadString("", value)) {
    return std::string();
  }
  return value;
}

}  // namespace

std::string NotesLibraryPath() {
  const std::string classId = DefaultValue("Notes.Link\\CLSID");
  if (classId.empty()) return std::string();
  const std::string program = DefaultValue("CLSID\\" + classId + "\\LocalServer32");
  const std::string directory = platform::DirectoryOf(program);
  if (directory.empty()) return std::string();
  return directory + platform::SharedLibraryFileName("nnotes.dll");
}

bool LoadNotes() {
  LoadedNotes& notes = Notes();
  std::lock_guard hold(notes.lock);
  if (notes.loaded) return true;
  notes.error = NoError;
  notes.status = 0;
  std::unique_ptr<platform::DynamicLibrary> library =
      platform::DynamicLibrary::Load(NotesLibraryPath());
  std::array<void*, kEntryNames.size()> entries{};
  for (size_t i = 0; library && i < kEntryNames.size(); ++i) {
    entries[i] = library->Symbol(kEntryNames[i]);
    if (entries[i] == nullptr) library.reset();
  }
  if (!library) {
    notes.error = ErrCantLoadDll;
    return false;
  }
  const auto init =
      reinterpret_cast<notes::InitFunction>(entries[static_cast<size_t>(NotesEntry::NotesInit)]);
  notes.status = init();
  if (notes.status != 0) {
    notes.error = ErrCantInitNotes;
    return false;  // the library is released here and forgotten
  }
  for (size_t i = 0; i < entries.size(); ++i) notes.entries[i] = entries[i];
  notes.library = std::move(library);
  notes.loaded = true;
  return true;
}

bool NotesLoaded() { return Notes().loaded; }

void UnloadNotes() {
  LoadedNotes& notes = Notes();
  std::lock_guard hold(notes.lock);
  notes.loaded = false;
  for (auto& entry : notes.entries) entry = nullptr;
  notes.library.reset();
}

void* NotesEntryPoint(NotesEntry entry) { return Notes().entries[static_cast<size_t>(entry)]; }

int32_t NotesErrorCode() { return Notes().error; }
void SetNotesError(int32_t error) { Notes().error = error; }
uint16_t NotesLastStatus() { return Notes().status; }
void SetNotesLastStatus(uint16_t status) { Notes().status = status; }

}  // namespace quorvel
