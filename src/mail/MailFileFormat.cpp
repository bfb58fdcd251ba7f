// Keys count only at line starts and never inside the message, which runs to
// the last body-type line: a received mail whose text holds a line
// "#Attachments : PATH" must not come back with PATH as a file to send.
#include "mail/MailFileFormat.h"

#include <array>
#include <limits>

namespace quorvel {

namespace {

enum Key : size_t {
  kVersion,
  kCodePage,
  kSenderName,
  kFrom,
  kTo,
  kCopy,
  kSubject,
  kMessage,
  kBodyType,
  kAttachments,
  kKeyCount,
};

constexpr std::array<std::string_view, kKeyCount> kKeys = {
    "#Version : ", "#CodePage : ", "#SenderName : ", "#From : ",     "#To : ",
    "#Copy : ",    "#Subject : ",  "#Message : ",    "#BodyType : ", "#Attachments : ",
};

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte < 0x20 && byte != '\t') || byte == 0x7F;
}

void AppendLine(std::string& out, std::string_view key, std::string_view value) {
  out += key;
  out += OneLineValue(value);
  out += "\r\n";
}

std::string Joined(const StringList& list) {
  std::string joined;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i > 0) joined += ',';
    joined += list[i];
  }
  return joined;
}

std::string JoinedNames(const StringList& names) {
  StringList stored;
  for (const std::string& name : names) stored.push_back(StorableAttachmentName(name));
  return Joined(stored);
}

StringList Split(std::string_view value) {
  StringList pieces;
  if (value.empty()) return pieces;
  size_t start = 0;
  for (size_t comma; (comma = value.find(',', start)) != std::string_view::npos; start = comma + 1) {
    pieces.emplace_back(value.substr(start, comma - start));
  }
  pieces.emplace_back(value.substr(start));
  return pieces;
}

bool IsLineStart(std::string_view text, size_t position) {
  return position == 0 || text[position - 1] == '\n' || text[position - 1] == '\r';
}

// The first place where `key` begins a line outside [skipFrom, skipTo), or
// with `last` the last place at or after `skipTo`.
size_t FindKeyLine(std::string_view text, std::string_view key, size_t skipFrom, size_t skipTo,
                   bool last = false) {
  size_t found = std::string_view::npos;
  for (size_t p = text.find(key, last ? skipTo : 0); p != std::string_view::npos;
       p = text.find(key, p + 1)) {
    if (!IsLineStart(text, p) || (p >= skipFrom && p < skipTo)) continue;
    found = p;
    if (!last) break;
  }
  return found;
}

std::string_view WithoutTrailingLineEnds(std::string_view value) {
  while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.remove_suffix(1);
  return value;
}

std::string_view Trimmed(std::string_view value) {
  constexpr std::string_view kBlanks = " \t\r\n\v\f";
  const size_t first = value.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return value.substr(first, value.find_last_not_of(kBlanks) - first + 1);
}

void ParseBodyType(std::string_view value, MailData& mail) {
  size_t numberStart = std::string_view::npos;
  if (const size_t html = value.find("HTML"); html != std::string_view::npos) {
    mail.bodyType = MailData::kBodyHtml;
    numberStart = html + 4;
  } else if (const size_t rtf = value.find("RTF"); rtf != std::string_view::npos) {
    mail.bodyType = MailData::kBodyRtf;
    numberStart = rtf + 3;
  }
  if (numberStart == std::string_view::npos) {
    mail.bodyType = MailData::kBodyText;
    mail.bodyIndex = -1;
    return;
  }
  mail.bodyIndex = DecimalValue(Trimmed(value.substr(numberStart)));
}

}  // namespace

std::string OneLineValue(std::string_view value) {
  std::string line(value);
  for (char& c : line) {
    if (IsControl(c)) c = ' ';
  }
  return line;
}

std::string StorableAttachmentName(std::string_view name) {
  const size_t separator = name.find_last_of("/\\");
  if (separator != std::string_view::npos) name.remove_prefix(separator + 1);
  const bool drive = name.size() >= 2 && name[1] == ':' &&
                     ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  if (drive) name.remove_prefix(2);
  std::string stored = OneLineValue(name);
  for (char& c : stored) {
    if (c == ',') c = '_';
  }
  if (stored.empty() || stored == "." || stored == "..") return "attachment";
  return stored;
}

int32_t DecimalValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) break;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

std::string AttachmentFileName(const std::string& directory, const std::string& title, size_t k) {
  return directory + title + "_" + std::to_string(k) + "." + kAttachmentExtension;
}

MailHeadAround FormatMailHeadAround(const MailData& mail) {
  return FormatMailHeadAround(mail, mail.message);
}

MailHeadAround FormatMailHeadAround(const MailData& mail, std::string_view message) {
  MailHeadAround head;
  std::string& out = head.before;
  AppendLine(out, kKeys[kVersion], mail.version);
  AppendLine(out, kKeys[kCodePage], std::to_string(mail.codePage));
  AppendLine(out, kKeys[kSenderName], mail.senderName);
  AppendLine(out, kKeys[kFrom], mail.from);
  AppendLine(out, kKeys[kTo], Joined(mail.to));
  AppendLine(out, kKeys[kCopy], Joined(mail.copy));
  AppendLine(out, kKeys[kSubject], mail.subject);
  out += kKeys[kMessage];
  // The message's own line end, or CR LF.
  if (message.empty() || message.back() != '\n') head.after = "\r\n";
  std::string bodyType = "Text";
  if (mail.bodyType == MailData::kBodyHtml) bodyType = "HTML " + std::to_string(mail.bodyIndex);
  if (mail.bodyType == MailData::kBodyRtf) bodyType = "RTF " + std::to_string(mail.bodyIndex);
  AppendLine(head.after, kKeys[kBodyType], bodyType);
  return head;
}

std::string FormatMailHead(const MailData& mail) {
  const MailHeadAround head = FormatMailHeadAround(mail);
  return head.before + mail.message + head.after;
}

std::string FormatMailAttachments(const MailData& mail) {
  std::string out;
  AppendLine(out, kKeys[kAttachments], JoinedNames(mail.attachmentNames));
  return out;
}

void ParseMailText(std::string_view text, MailData& mail) {
  constexpr size_t npos = std::string_view::npos;
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  std::array<size_t, kKeyCount> at{};
  at.fill(npos);
  // The message runs from its key to the last body-type line after it: no
  // key inside it counts. The writer always writes that line; a file made
  // otherwise without it ends its message at the next key line.
  size_t messageFrom = npos, messageTo = npos;
  at[kMessage] = FindKeyLine(text, kKeys[kMessage], npos, npos);
  if (at[kMessage] != npos) {
    at[kBodyType] = FindKeyLine(text, kKeys[kBodyType], npos, at[kMessage] + 1, true);
    if (at[kBodyType] != npos) {
      messageFrom = at[kMessage];
      messageTo = at[kBodyType];
    }
  }
  for (size_t key = 0; key < kKeyCount; ++key) {
    if (key == kMessage || at[key] != npos) continue;
    at[key] = FindKeyLine(text, kKeys[key], messageFrom, messageTo);
  }
  std::array<std::string_view, kKeyCount> values{};
  for (size_t key = 0; key < kKeyCount; ++key) {
    if (at[key] == npos) continue;
    size_t end = text.size();
    for (const size_t other : at) {
      if (other != npos && other > at[key] && other < end) end = other;
    }
    const size_t start = at[key] + kKeys[key].size();
    values[key] = WithoutTrailingLineEnds(text.substr(start, end - start));
  }
  mail.version = values[kVersion];
  mail.codePage = values[kCodePage].empty() ? -1 : DecimalValue(values[kCodePage]);
  mail.senderName = values[kSenderName];
  mail.from = values[kFrom];
  mail.to = Split(values[kTo]);
  mail.copy = Split(values[kCopy]);
  mail.subject = values[kSubject];
  mail.message = values[kMessage];
  ParseBodyType(values[kBodyType], mail);
  mail.attachmentNames = Split(values[kAttachments]);
}

}  // namespace quorvel
