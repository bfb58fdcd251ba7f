// Texts are shown as QuotedText shows them, so a hostile file cannot garble
// the terminal.
#include "mail/MailDataDump.h"

#include "mail/MailDataMove.h"
#include "platform/FileSystem.h"
#include "text/QuotedText.h"
#include "quorvel/MailData.h"

namespace quorvel {

namespace {

std::string Shown(const std::string& text) { return QuotedText(text); }

std::string ShownList(const StringList& list) {
  std::string shown = std::to_string(list.size());
  for (size_t i = 0; i < list.size(); ++i) shown += (i == 0 ? ": " : ", ") + Shown(list[i]);
  return shown;
}

const char* BodyTypeName(int32_t bodyType) {
  switch (bodyType) {
    case MailData::kBodyHtml: return "HTML";
    case MailData::kBodyRtf: return "RTF";
    default: return "text only";
  }
}

}  // namespace

bool DumpMailDataFile(const std::string& path, std::ostream& out) {
  MailData mail;
  MailFileReading reading;
  if (!ReadMailFile(mail, path, nullptr, &reading)) {
    out << "cannot read mail-data file " << path;
    if (!reading.problem.empty()) out << ": " << reading.problem;
    out << "\n";
    return false;
  }
  out << "mail-data file " << path << "\n"
      << "  version      " << Shown(mail.version) << "\n"
      << "  code page    " << mail.codePage << "\n"
      << "  sender name  " << Shown(mail.senderName) << "\n"
      << "  from         " << Shown(mail.from) << "\n"
      << "  to           " << ShownList(mail.to) << "\n"
      << "  copy         " << ShownList(mail.copy) << "\n"
      << "  subject      " << Shown(mail.subject) << "\n"
      << "  message      " << mail.message.size() << " bytes\n";
  for (size_t start = 0; start < mail.message.size();) {
    size_t end = mail.message.find("\r\n", start);
    if (end == std::string::npos) end = mail.message.size();
    out << "    | " << Shown(mail.message.substr(start, end - start)) << "\n";
    start = end + 2;
  }
  out << "  body         " << BodyTypeName(mail.bodyType);
  if (mail.bodyType == MailData::kBodyHtml || mail.bodyType == MailData::kBodyRtf) {
    out << ", attachment " << mail.bodyIndex + 1;
  }
  out << "\n  attachments  " << mail.attachmentNames.size() << "\n";
  for (size_t i = 0; i < mail.attachmentNames.size(); ++i) {
    out << "    " << i + 1 << " " << Shown(mail.attachmentNames[i]);
    const std::string& content = mail.attachmentFiles[i];
    out << ", content " << content << " (" << platform::FileLength(content).value_or(0)
        << " bytes)\n";
  }
  for (const RefusedAttachment& refused : reading.refused) {
    out << "  left out     " << Shown(refused.name) << ": " << refused.reason << "\n";
  }
  return true;
}

}  // namespace quorvel
