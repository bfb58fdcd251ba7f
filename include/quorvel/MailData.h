// MailData: one mail described independently of any transport (sender,
// recipients, subject, text, attachments and which attachment, if any, is
// the HTML or RTF body). Hosts build it and pass it to the send exports by
// pointer, so its members, their order and their types are part of the
// library's binary interface. MailDataList holds the mails of a directory.
//
// The inline helpers are for hosts and library alike; the operations that
// touch files (AddAttachment, DeleteFiles, ReadFile, WriteToDirectory,
// MoveToDirectory, LoadDirectory, RemoveAt) live inside the library for its
// own use: hosts reach them through the exports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quorvel/GrowableArray.h"

// A list of 8-bit strings (the host's string array).
class StringList : public std::vector<std::string> {
 public:
  using std::vector<std::string>::vector;
};

class MailData {
 public:
  enum BodyType : int32_t { kBodyText = 0, kBodyHtml = 1, kBodyRtf = 2 };

  MailData() = default;
  MailData(const MailData&) = default;
  MailData& operator=(const MailData&) = default;
  virtual ~MailData() = default;

  void Reset() {
    filePath.clear();
    version.clear();
    codePage = 1252;
    senderName.clear();
    from.clear();
    to.clear();
    copy.clear();
    subject.clear();
    message.clear();
    attachmentNames.clear();
    attachmentFiles.clear();
    bodyType = kBodyText;
    bodyIndex = -1;
  }
  // Several addresses separated by ";" become several recipients; pieces
  // are kept as they are, empty ones too.
  void AddTo(const std::string& text) {
    size_t start = 0;
    for (size_t semicolon; (semicolon = text.find(';', start)) != std::string::npos;
         start = semicolon + 1) {
      to.push_back(text.substr(start, semicolon - start));
    }
    to.push_back(start == 0 ? text : text.substr(start));
  }
  void AddCopy(const std::string& text) { copy.push_back(text); }
  void SetSubject(const std::string& text) { subject = text; }
  // The text with CR LF line ends throughout; the mail becomes text only.
  void SetMessage(const std::string& text) {
    message.clear();
    message.reserve(text.size());
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      const bool crlf = end > start && text[end - 1] == '\r';
      message.append(text, start, end - start - (crlf ? 1 : 0));
      message += "\r\n";
    }
    message.append(text, start, std::string::npos);
    bodyType = kBodyText;
    bodyIndex = -1;
  }
  bool IsBodyAttachment(int32_t index) const {
    return !attachmentNames.empty() && bodyIndex >= 0 && bodyIndex == index;
  }

  // Appends an attachment when its file (`file`, or `name` when `file` is
  // empty) exists; kind 1 makes it the HTML body, 2 the RTF body.
  bool AddAttachment(const std::string& name, const std::string& file, int32_t kind);
  // Deletes the attachment content files and the mail-data file.
  void DeleteFiles();
  // Reads a mail-data file; false only when it is missing or unreadable.
  bool ReadFile(const std::string& path);
  // Writes the mail as a new mail-data file with its attachment files into
  // `directory`; on failure nothing of it stays there. With
  // `moveAttachments` the attachment files are moved there, not copied
  // (files the caller made for this mail alone; gone when it fails).
  bool WriteToDirectory(const std::string& directory, bool moveAttachments = false);
  // Writes into `directory`, then deletes the files the mail came from.
  bool MoveToDirectory(const std::string& directory);

  // Texts are 8-bit. The subject and the message are in `codePage` (a Windows
  // code page; the composer declares the matching charset, 65001 as
  // "utf-8"), the sender name is UTF-8 whatever the page, addresses are
  // ASCII; paths are in the ANSI code page (UTF-8 on POSIX). A POSIX host
  // whose texts are UTF-8 sets codePage to 65001; received records carry the
  // library's code page (65001 on POSIX).
  uint32_t ownerThreadId = 0;  // the thread whose context a background send uses
  std::string filePath;        // the mail-data file the record was read from or written to
  std::string version;
  int32_t codePage = 1252;
  std::string senderName;  // display name; empty: the context's sender name
  std::string from;        // sender address
  StringList to;           // one delivery per address
  StringList copy;  // only the first element is sent, with the first delivery
  std::string subject;
  std::string message;  // the text, CR LF line ends
  StringList attachmentNames;
  StringList attachmentFiles;  // parallel to attachmentNames; "" = the name is the path
  int32_t bodyType = kBodyText;
  int32_t bodyIndex = -1;
};

class MailDataList : public OwningArray<MailData> {
 public:
  MailDataList() : OwningArray<MailData>(20) {}

  // Appends a record for every mail-data file of the directory, in the order
  // the file system lists them; false when the directory does not exist.
  bool LoadDirectory(const std::string& directory);
  // Removes and destroys one record, deleting its files first when asked.
  void RemoveAt(uint32_t index, bool deleteFiles);
  using OwningArray<MailData>::RemoveAt;
};
