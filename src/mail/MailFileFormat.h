// The text of a mail-data file (".mes"): ten "#Key : value" lines in a fixed
// order, the message free to span several lines. This is the one place that
// writes and reads that text; the files themselves are MailDataFile's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "quorvel/MailData.h"

namespace quorvel {

inline constexpr const char* kMailFileExtension = "mes";
inline constexpr const char* kAttachmentExtension = "att";

// Lines 1 to 9 (up to the body type) and line 10 (the attachment names),
// each ending with CR LF unless its value already ends with LF.
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
// a record read back equals the record written; malformed text yields empty
// or default members.
void ParseMailText(std::string_view text, MailData& mail);

// An integer as the C library's atoi reads it (leading blanks, a sign, the
// digits that follow; 0 when there are none), clamped to the int32 range.
int32_t DecimalValue(std::string_view text);

// The content file of attachment `k` (counting from 1) beside a mail-data
// file: directory (with its separator) + title + "_" + k + ".att".
std::string AttachmentFileName(const std::string& directory, const std::string& title, size_t k);

}  // namespace quorvel
