// NotesMailer: one memo built in the user's Notes mail file and deposited in
// the server's "mail.box" for routing, through the Notes client library.
// Every step's failure is a Notes error code (NotesLibrary.h), readable
// process-wide until the next Notes call.
#pragma once

#include <string>
#include <vector>

#include "mail/NotesLibrary.h"

namespace quorvel {

class NotesMailer {
 public:
  // Without the thread flag: loads and initialises the library if needed.
  // With it: the library must be loaded already, and this thread is
  // initialised for Notes until the mailer ends.
  explicit NotesMailer(bool threadFlag);
  virtual ~NotesMailer();
  NotesMailer(const NotesMailer&) = delete;
  NotesMailer& operator=(const NotesMailer&) = delete;

  void AddSendTo(const std::string& address) { sendTo_.push_back(address); }
  void SetBody(const std::string& text) { body_ = text; }
  void SetSubject(const std::string& text) { subject_ = text; }
  void SetFrom(const std::string& address) { from_ = address; }
  // False for an empty path; a null or empty name shows the path's own name.
  bool AddAttachment(const std::string& path, const char* name);
  // True only when every step succeeded.
  bool Send();

 private:
  bool threadFlag_;
  bool threadInitialised_ = false;
  std::string body_;
  std::string subject_;
  std::string from_;
  std::vector<std::string> sendTo_;
  std::vector<std::string> copyTo_;
  std::vector<std::string> attachmentPaths_;
  std::vector<std::string> attachmentNames_;
};

}  // namespace quorvel
