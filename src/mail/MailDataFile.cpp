// MailData's files: a ".mes" file named "~AT<n>.mes" with one "<title>_<k>.att"
// content file per attachment beside it. Writing takes the mail-data name
// exclusively, so two writers never share a name; a failed write removes
// everything it made, and a move deletes the old files only once the new
// ones are complete. A record read from a file only ever names files beside
// it: whatever wrote the file, an attachment whose name is not a plain name
// or whose content file is missing is left out (and logged), so no name can
// make a send take a file from elsewhere.
#include <optional>

#include "frame/Directories.h"
#include "frame/LogEvents.h"
#include "frame/UniqueNames.h"
#include "text/LineEnds.h"
#include "mail/MailDataMove.h"
#include "mail/MailFileFormat.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "quorvel/MailData.h"

namespace quorvel {

namespace {

using platform::DirectoryOf;
using platform::FileNameOf;

std::string TitleOf(const std::string& path) {
  const std::string name = FileNameOf(path);
  return name.substr(0, name.rfind('.'));
}

bool HoldsWhatTheWriterWrites(const std::string& text, const MailData& mail) {
  return text == FormatMailHead(mail) + FormatMailAttachments(mail);
}

void LogMailFileProblem(const std::string& path, const std::string& problem) {
  SetLogValue(kKeySourcePath, path);
  SetLogValue(kKeyMessage, problem);
  WriteLogEvent(kEventMailFileProblem);
}

// The file's text, or why there is none.
std::optional<std::string> ReadMailText(const std::string& path, std::string& problem) {
  try {
    auto file = platform::File::Open(path, platform::FileAccess::Read,
                                     platform::FileShare::DenyWrite,
                                     platform::FileDisposition::OpenExisting);
    const uint64_t length = file.Length();
    if (length > kMaxMailFileBytes) {
      problem = "larger than " + std::to_string(kMaxMailFileBytes >> 20) + " MiB (" +
                std::to_string(length) + " bytes)";
      return std::nullopt;
    }
    std::string text(static_cast<size_t>(length), '\0');
    text.resize(file.Read(text.data(), text.size()));
    return text;
  } catch (const platform::FileError&) {
    problem = "cannot be read";
    return std::nullopt;
  }
}

// Why an attachment read with `name` and its content file `content` is
// left out; nothing when it is taken.
std::optional<std::string> AttachmentProblem(const std::string& name, const std::string& content) {
  if (name != StorableAttachmentName(name)) return "its name is not a plain file name";
  if (!platform::IsExistingFile(content)) return "it has no content file beside the mail";
  return std::nullopt;
}

// Leaves out the attachments that AttachmentProblem refuses, keeping the
// body's index on its attachment (or the body text only when it goes).
void TakeAttachments(MailData& mail, const std::string& directory, const std::string& title,
                     std::vector<RefusedAttachment>* refused) {
  StringList names;
  int32_t bodyIndex = -1;
  for (size_t k = 1; k <= mail.attachmentNames.size(); ++k) {
    const std::string& name = mail.attachmentNames[k - 1];
    const std::string content = AttachmentFileName(directory, title, k);
    if (const auto problem = AttachmentProblem(name, content)) {
      LogMailFileProblem(mail.filePath, "attachment \"" + name + "\" left out: " + *problem);
      if (refused != nullptr) refused->push_back({name, *problem});
      continue;
    }
    if (mail.IsBodyAttachment(static_cast<int32_t>(k - 1))) bodyIndex = static_cast<int32_t>(names.size());
    names.push_back(name);
    mail.attachmentFiles.push_back(content);
  }
  if (names.size() != mail.attachmentNames.size() && mail.bodyType != MailData::kBodyText) {
    mail.bodyIndex = bodyIndex;
    if (bodyIndex < 0) mail.bodyType = MailData::kBodyText;
  }
  mail.attachmentNames = std::move(names);
}

// A record without attachments whose file holds exactly what the writer
// would write moves by renaming that file: the result is the same as
// writing it anew and deleting the old one, in one step, with no copy. A
// read-only file is left to the writer, which cannot delete it either. A
// file that still has the stamp it had when it was read as the writer's
// bytes of this record is not read again.
bool MovedByRenaming(MailData& mail, const std::string& directory, uint32_t& knownNames,
                     const WrittenAsRead& writtenAs) {
  if (!mail.attachmentNames.empty() || !mail.attachmentFiles.empty() || mail.filePath.empty() ||
      !platform::IsExistingDirectory(directory) || platform::IsReadOnly(mail.filePath)) {
    return false;
  }
  if (!writtenAs || platform::StampOf(mail.filePath) != writtenAs) {
    std::string problem;
    const std::optional<std::string> text = ReadMailText(mail.filePath, problem);
    if (!text || !HoldsWhatTheWriterWrites(*text, mail)) return false;
  }
  const std::string moved = UniqueNameMovedFrom(mail.filePath, knownNames, kMailFileExtension, directory);
  if (moved.empty()) return false;
  mail.filePath = moved;
  return true;
}

// The name of an attachment as written: its file name, made storable; a
// change beyond dropping the directory is said in the log.
std::string StoredName(const std::string& name) {
  const std::string plain = FileNameOf(name);
  std::string stored = StorableAttachmentName(plain);
  if (stored != plain) {
    SetLogValue(kKeySourcePath, name);
    SetLogValue(kKeyMessage, "attachment stored as \"" + stored + "\"");
    WriteLogEvent(kEventAttachmentRenamed);
  }
  return stored;
}

}  // namespace

bool ReadMailFile(MailData& mail, const std::string& path, WrittenAsRead* writtenAs,
                  MailFileReading* reading) {
  mail.Reset();
  if (writtenAs != nullptr) writtenAs->reset();
  // Stamped before reading: a write meanwhile leaves the file another stamp.
  const WrittenAsRead stamp = platform::StampOf(path);
  if (!stamp) return false;
  std::string problem;
  const std::optional<std::string> text = ReadMailText(path, problem);
  if (!text) {
    LogMailFileProblem(path, "not read: " + problem);
    if (reading != nullptr) reading->problem = problem;
    return false;
  }
  mail.filePath = path;
  ParseMailText(*text, mail);
  TakeAttachments(mail, DirectoryOf(path), TitleOf(path),
                  reading != nullptr ? &reading->refused : nullptr);
  if (writtenAs != nullptr && HoldsWhatTheWriterWrites(*text, mail)) *writtenAs = stamp;
  return true;
}

bool LoadMailDirectory(const std::string& directoryPath, MailDataList& list,
                       std::vector<WrittenAsRead>* writtenAs) {
  const std::string directory = NormaliseDirectory(directoryPath);
  if (!platform::IsExistingDirectory(directory)) return false;
  const std::string pattern = std::string("*.") + kMailFileExtension;
  for (const platform::DirectoryEntry& entry : platform::ListDirectory(directory, pattern)) {
    if (entry.isDirectory) continue;
    MailData& mail = list.Adopt(std::make_unique<MailData>());
    WrittenAsRead stamp;
    ReadMailFile(mail, directory + entry.name, writtenAs != nullptr ? &stamp : nullptr, nullptr);
    if (writtenAs != nullptr) writtenAs->push_back(stamp);
  }
  return true;
}

bool MoveMailData(MailData& mail, const std::string& directory, uint32_t& knownNames,
                  const WrittenAsRead& writtenAs) {
  if (MovedByRenaming(mail, NormaliseDirectory(directory), knownNames, writtenAs)) return true;
  const std::string oldPath = mail.filePath;
  const StringList oldFiles = mail.attachmentFiles;
  if (!mail.WriteToDirectory(directory)) return false;
  for (const std::string& old : oldFiles) {
    if (old.empty() || !platform::IsExistingFile(old)) continue;
    platform::SetReadOnly(old, false);
    platform::RemoveFile(old);
  }
  if (platform::IsExistingFile(oldPath)) platform::RemoveFile(oldPath);
  return true;
}

bool WriteMailData(MailData& mail, const std::string& directoryPath, bool moveAttachments,
                   std::string_view message, bool completeLineEnds, uint32_t* knownNames) {
  const std::string directory = NormaliseDirectory(directoryPath);
  if (!platform::IsExistingDirectory(directory) && !CreateDirectoryPath(directory)) return false;
  // The first free "~AT<n>.mes", taken and opened for writing in one step.
  uint32_t fromTheFirst = 0;
  std::optional<platform::File> file = CreateUniqueFile(
      knownNames != nullptr ? *knownNames : fromTheFirst, kMailFileExtension, directory);
  if (!file) return false;
  mail.filePath = file->Path();
  const std::string title = TitleOf(mail.filePath);
  bool ok = true;
  StringList& names = mail.attachmentNames;
  StringList& files = mail.attachmentFiles;
  files.resize(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string source = files[i].empty() ? names[i] : files[i];
    const std::string target = AttachmentFileName(directory, title, i + 1);
    if (source == target) continue;
    const bool placed = moveAttachments ? platform::RenameFile(source, target)
                                        : platform::DuplicateFile(source, target, false);
    if (placed) {
      names[i] = StoredName(names[i]);
      files[i] = target;
      platform::SetReadOnly(target, false);
    } else {
      files[i].clear();
      ok = false;
      SetLogValue(kKeySourcePath, source);
      WriteLogEvent(kEventAttachmentNotCopied);
    }
  }
  // The record holds what its file holds.
  for (std::string* value : {&mail.version, &mail.senderName, &mail.from, &mail.subject}) {
    *value = OneLineValue(*value);
  }
  for (StringList* list : {&mail.to, &mail.copy}) {
    for (std::string& value : *list) value = OneLineValue(value);
  }
  try {
    const MailHeadAround head = FormatMailHeadAround(mail, message);
    file->Write(head.before.data(), head.before.size());
    const auto write = [&](std::string_view bytes) { file->Write(bytes.data(), bytes.size()); };
    if (completeLineEnds) {
      WriteWithCrLfLines(message, write);
    } else {
      write(message);
    }
    file->Write(head.after.data(), head.after.size());
    const std::string attachments = FormatMailAttachments(mail);
    file->Write(attachments.data(), attachments.size());
    file->Close();
  } catch (const platform::FileError&) {
    ok = false;
  }
  file.reset();
  if (!ok) mail.DeleteFiles();
  return ok;
}

}  // namespace quorvel

// The shared classes live outside the library's namespace.
using namespace quorvel;

bool MailData::AddAttachment(const std::string& name, const std::string& file, int32_t kind) {
  if (!platform::IsExistingFile(file.empty() ? name : file)) return false;
  attachmentNames.push_back(name);
  attachmentFiles.push_back(file);
  if (kind == kBodyHtml || kind == kBodyRtf) {
    bodyType = kind;
    bodyIndex = static_cast<int32_t>(attachmentNames.size()) - 1;
  } else if (kind != kBodyText) {
    bodyType = kBodyText;
  }
  return true;
}

void MailData::DeleteFiles() {
  for (const std::string& file : attachmentFiles) {
    if (!file.empty() && platform::IsExistingFile(file)) platform::RemoveFile(file);
  }
  if (platform::IsExistingFile(filePath)) platform::RemoveFile(filePath);
}

bool MailData::ReadFile(const std::string& path) {
  return ReadMailFile(*this, path, nullptr, nullptr);
}

bool MailData::WriteToDirectory(const std::string& directory, bool moveAttachments) {
  return WriteMailData(*this, directory, moveAttachments, message, false);
}

bool MailData::MoveToDirectory(const std::string& directory) {
  uint32_t knownNames = 0;
  return MoveMailData(*this, directory, knownNames);
}

bool MailDataList::LoadDirectory(const std::string& directory) {
  return LoadMailDirectory(directory, *this, nullptr);
}

void MailDataList::RemoveAt(uint32_t index, bool deleteFiles) {
  if (deleteFiles) (*this)[index].DeleteFiles();
  RemoveAt(index);
}
