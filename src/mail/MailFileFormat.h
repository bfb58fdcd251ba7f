// The text of a mail-data file (".mes"): ten "#Key : value" lines in a fixed
// order, the message free to span several lines. This is the one place that
// writes and reads that text; the files themselves are MailDataFile's.
//
// No value but the message can break its line: every control character
// (bytes 0x00 to 0x1F but the tab, and 0x7F) of the other values is written
// as a space. Attachment names are written as StorableAttachmentName makes
// them. The reader takes CR, LF and CR LF as line ends and skips a UTF-8
// byte-order mark.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "quorvel/MailData.h"

namespace quorvel {

inline constexpr const char* kMailFileExtension = "mes";
inline constexpr const char* kAttachmentExtension = "att";
// A mail-data file larger than this is not read: its record would take
// several times its size in memory.
inline constexpr uint64_t kMaxMailFileBytes = uint64_t{64} << 20;

// The value as the writer writes a single-line field: control characters
// become spaces.
std::string OneLineValue(std::string_view value);
// An attachment name as it is stored: the part after the last "/" or "\"
// and after a drive ("C:"), with control characters as spaces and each ","
// (the list's separator) as "_"; "attachment" for a name that is then
// empty, "." or "..". The reader takes only names that are already so.
std::string StorableAttachmentName(std::string_view name);

// Lines 1 to 9 (up to the body type) and line 10 (the attachment names),
// each ending with CR LF (the message: unless it already ends with LF).
std::string FormatMailHead(const MailData& mail);
// The same lines around the message, which may be megabytes: written as
// `before`, the message, `after`, it is never copied.
struct MailHeadAround {
  std::string before;
  std::string after;
};
MailHeadAround FormatMailHeadAround(const MailData& mail);
// The same lines for `message` in place of the record's own.
MailHeadAround FormatMailHeadAround(const MailData& mail, std::string_view message);
std::string FormatMailAttachments(const MailData& mail);

// Fills every member but filePath and attachmentFiles from the text.
// Keys count only at line starts, in any order, and none inside the message,
// which runs from its key to the last body-type line. Whatever a value holds,
// a record read back equals the record written, its single-line values as
// the writer wrote them; malformed text yields empty or default members.
void ParseMailText(std::string_view text, MailData& mail);

// An integer as the C library's atoi reads it (leading blanks, a sign, the
// digits that follow; 0 when there are none), clamped to the int32 range.
int32_t DecimalValue(std::string_view text);

// The content file of attachment `k` (counting from 1) beside a mail-data
// file: directory (with its separator) + title + "_" + k + ".att".
std::string AttachmentFileName(const std::string& directory, const std::string& title, size_t k);

}  // namespace quorvel
