// MailMessage: one outgoing message. The send paths fill one, then ask it to
// deliver itself; for SMTP it is composed as a MIME file that the SMTP client
// then sends. It lives for one send call and is used by one thread; the
// context's stop and suspend requests are obeyed between all steps.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/Checkpoint.h"
#include "protocol/CommandChannel.h"
#include "protocol/SmtpSettings.h"
#include "message/MimeFile.h"
#include "quorvel/Handles.h"

namespace quorvel {

// Fixed values of the composed messages.
inline constexpr const char* kMailerName = "Quorvel Mailer 1.0";
inline constexpr const char* kMimeBoundary = "-Quorvel_Mime_Delimiter";
inline constexpr const char* kNoSubject = "<no object>";

// Locations logged for exceptions while composing.
inline constexpr uint32_t kLocationMimeHeader = 517;
inline constexpr uint32_t kLocationMimeText = 518;
inline constexpr uint32_t kLocationMimeAttachments = 519;
inline constexpr uint32_t kLocationCompose = 520;

// A message sent by SMTP is composed in memory up to this size, in a file
// beyond it.
inline constexpr size_t kComposedInMemory = 1024 * 1024;

class MailMessage {
 public:
  // The context's stopRequested, suspendRequested and percentSent (each may
  // be null).
  MailMessage(std::atomic<uint8_t>* stopRequested, std::atomic<uint8_t>* suspendRequested,
              std::atomic<int32_t>* percentSent);
  virtual ~MailMessage() = default;

  void SetClientWindow(WindowHandle window) { clientWindow = window; }
  void SetProgressCallback(ProgressCallback callback) { progressCallback = callback; }
  void SetRecipient(const std::string& address) { recipient = address; }
  void SetSubject(const std::string& text) { subject = text; }
  void SetBody(const std::string& text) { body = text; }
  void SetCc(const char* address) { cc = address == nullptr ? "" : address; }
  // The charset label from the Windows code page of the texts.
  void CharsetForCodePage(int32_t codePage);

  // Adds a file to send: `name` is the file itself, or, with a `source`, the
  // name shown for the file `source`. False (error 1) when the file is
  // missing, a directory, or the name is empty; false (error 13) on a stop.
  bool AddAttachment(const char* name, const char* source, bool alternative);
  // The message's own sender, completed from the default settings; all of
  // host, port and address null or 0 go back to the default settings.
  void SetSender(const char* host, uint16_t port, const char* address, const char* name);
  // Writes the message as "~AT<n>.eml" into `directory` (ending with the
  // separator; the temporary directory when null). Answers the path, or ""
  // (with the error code set) on failure or stop. A stop leaves the part
  // written so far in `directory`, and nothing in the temporary directory.
  std::string ComposeToFile(const char* directory);
  // Composes and delivers by SMTP. `probe` also looks up the local host's
  // address first (its outcome is ignored); `copy` has no effect. A file
  // composed in the temporary directory (no `directory`) is deleted whatever
  // the outcome; one composed in `directory` stays there after a failure.
  // A refusal leaves the server's reply line in `serverReply`.
  // Defined by the mail layer (mail/SmtpSend.cpp, MapiSend.cpp, NotesSend.cpp),
  // which uses this room: composing never delivers.
  bool SendBySmtp(bool probe, const char* directory, bool copy);
  // Hands the message to the system's Simple MAPI provider (error 10 when
  // there is none, 9 when it refuses) or to the Notes client (error 11).
  bool SendByMapi();
  bool SendByNotes();

  // The sender of the From line and of the SMTP transaction.
  SmtpSettings Sender() const;

  WindowHandle clientWindow = nullptr;
  ProgressCallback progressCallback = nullptr;
  std::string recipient;
  std::string notesSender;  // the sender address of the Notes transport
  std::string subject = kNoSubject;
  std::string body;  // 8-bit text, sent as given
  std::vector<std::string> attachmentNames;
  std::vector<std::string> attachmentSources;  // "" = read the file named in attachmentNames
  std::string cc;
  std::string charset;
  bool usesDefaultSender = true;
  SmtpSettings ownSender;
  RequestFlags requests;
  std::atomic<int32_t>* percentSent;
  uint32_t timeoutMs = kDefaultTimeoutMs;
  uint32_t errorCode = 0;
  std::string serverReply;  // the reply line of the command the server refused
  bool alternative = false;  // once set, the first attachment is the HTML body
  int32_t htmlBodyIndex = -1;  // received: the attachment that is the HTML body

 private:
  // A stop request records error 13 and answers true.
  bool Stopped();
  // Writes the whole message; false (error 13) on a stop between parts.
  bool ComposeInto(MimeFile& file);
  // `path` names the composed file when `composed` is not in memory.
  bool DeliverBySmtp(bool probe, const MimeFile& composed, const std::string& path);
};

}  // namespace quorvel
