// MapiMailer: one message handed to the system's Simple MAPI provider with a
// single MAPISendMail call; the provider's own profile and logon do the rest.
// The provider library is loaded at run time and shared by all mailers of
// the process: it stays loaded while any mailer lives, so no send can lose
// it under another thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mail/SimpleMapi.h"

namespace quorvel {

namespace platform {
class DynamicLibrary;
}

// The provider library's file: "MAPI32.DLL" under the system's naming, found
// through the system's library search. Tests point it at a stand-in.
std::string& MapiLibraryName();

class MapiMailer {
 public:
  enum State : int32_t {
    kReady = 0,
    kLibraryNotLoaded = 1,
    kEntryPointMissing = 2,
    kRecipientsNotGrown = 3,
    kFilesNotGrown = 5,
  };

  MapiMailer();
  virtual ~MapiMailer();
  MapiMailer(const MapiMailer&) = delete;
  MapiMailer& operator=(const MapiMailer&) = delete;

  // The state, which goes back to kReady.
  int32_t TakeState();
  void SetSubject(const std::string& text) { subject_ = text; }
  void SetNoteText(const std::string& text) { noteText_ = text; }
  // A primary recipient named by the address (the address field stays empty).
  bool AddRecipient(const std::string& address);
  // A file to attach; a null name lets the provider show the path's own name.
  bool AddFile(const std::string& path, const char* name);
  // True when sent, cancelled by the user or refused at logon.
  bool Send(uint32_t flags);

 private:
  mapi::MapiMessage message_{};
  mapi::MapiRecipDesc originator_{};
  int32_t state_ = kReady;
  std::string noteText_;
  std::string subject_;
  std::shared_ptr<platform::DynamicLibrary> library_;
  mapi::SendMailFunction sendMail_ = nullptr;
  std::vector<mapi::MapiRecipDesc> recipients_;
  std::vector<mapi::MapiFileDesc> files_;
  // The texts the records point into.
  std::vector<std::unique_ptr<std::string>> texts_;
};

}  // namespace quorvel
