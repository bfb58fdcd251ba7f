// The provider is loaded by the first mailer that needs it and unloaded when
// the last one ends; a weak reference lets later mailers share it meanwhile.
#include "mail/MapiMailer.h"

#include <mutex>
#include <new>
#include <utility>

#include "platform/Alert.h"
#include "platform/DynamicLibrary.h"

namespace quorvel {

namespace {

constexpr const char* kAlertCaption = "Quorvel Mailer";

std::mutex& ProviderLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<platform::DynamicLibrary> SharedProvider() {
  static std::weak_ptr<platform::DynamicLibrary> provider;
  std::lock_guard hold(ProviderLock());
  std::shared_ptr<platform::DynamicLibrary> library = provider.lock();
  if (!library) {
    library = platform::DynamicLibrary::Load(MapiLibraryName());
    provider = library;
  }
  return library;
}

}  // namespace

std::string& MapiLibraryName() {
  static std::string name = platform::SharedLibraryFileName("MAPI32.DLL");
  return name;
}

MapiMailer::MapiMailer() {
  message_.lpOriginator = &originator_;
  library_ = SharedProvider();
  if (!library_) {
    platform::ShowAlert("The mail system (MAPI32.DLL) cannot be loaded.", kAlertCaption,
                        platform::AlertIcon::Stop);
    state_ = kLibraryNotLoaded;
    return;
  }
  sendMail_ = reinterpret_cast<mapi::SendMailFunction>(library_->Symbol("MAPISendMail"));
  if (sendMail_ == nullptr || library_->Symbol("MAPIReadMail") == nullptr ||
      library_->Symbol("MAPIFindNext") == nullptr) {
    platform::ShowAlert("The mail system (MAPI32.DLL) is not a valid MAPI library.",
                        kAlertCaption, platform::AlertIcon::Stop);
    sendMail_ = nullptr;
    state_ = kEntryPointMissing;
  }
}

MapiMailer::~MapiMailer() {
  std::lock_guard hold(ProviderLock());
  library_.reset();
}

int32_t MapiMailer::TakeState() { return std::exchange(state_, kReady); }

bool MapiMailer::AddRecipient(const std::string& address) {
  try {
    texts_.push_back(std::make_unique<std::string>(address));
    mapi::MapiRecipDesc recipient{};
    recipient.ulRecipClass = mapi::kRecipientTo;
    recipient.lpszName = texts_.back()->data();
    recipients_.push_back(recipient);
    return true;
  } catch (const std::bad_alloc&) {
    state_ = kRecipientsNotGrown;
    return false;
  }
}

bool MapiMailer::AddFile(const std::string& path, const char* name) {
  try {
    mapi::MapiFileDesc file{};
    texts_.push_back(std::make_unique<std::string>(path));
    file.lpszPathName = texts_.back()->data();
    if (name != nullptr) {
      texts_.push_back(std::make_unique<std::string>(name));
      file.lpszFileName = texts_.back()->data();
    }
    files_.push_back(file);
    return true;
  } catch (const std::bad_alloc&) {
    state_ = kFilesNotGrown;
    return false;
  }
}

bool MapiMailer::Send(uint32_t flags) {
  if (sendMail_ == nullptr) return false;
  // Each attachment takes the place of one blank appended to the text.
  std::string note = noteText_;
  for (size_t i = 0; i < files_.size(); ++i) {
    files_[i].nPosition = static_cast<uint32_t>(noteText_.size() + i);
    note += ' ';
  }
  message_.lpszSubject = subject_.data();
  message_.lpszNoteText = note.data();
  message_.nRecipCount = static_cast<uint32_t>(recipients_.size());
  message_.lpRecips = recipients_.empty() ? nullptr : recipients_.data();
  message_.nFileCount = static_cast<uint32_t>(files_.size());
  message_.lpFiles = files_.empty() ? nullptr : files_.data();
  // No window of the host to disable on this system: the owner is none.
  const uint32_t result = sendMail_(0, 0, &message_, flags | mapi::kLogonUi, 0);
  message_.lpszNoteText = nullptr;
  if (result == mapi::kSuccess || result == mapi::kUserAbort || result == mapi::kLogonFailure) {
    return true;
  }
  platform::ShowAlert("Sending the mail through MAPI failed.", kAlertCaption,
                      platform::AlertIcon::Stop);
  return false;
}

}  // namespace quorvel
