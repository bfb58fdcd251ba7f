// The exchange file of a tutor's reply (kind 21) to a pupil mail, written and
// packed in the system's temporary directory for the mailbox to file, and
// the check a pupil's host makes on a tutor reply it received.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quorvel/CodedText.h"
#include "quorvel/WideString.h"

namespace quorvel::exchange {

struct TutorReplyContent {
  uint32_t number = 0;
  CodedText correspondent;
  WideString text;
  std::vector<std::string> attachments;
};

struct WrittenTutorReply {
  std::string path;     // "~AT" n ".qv6" in the temporary directory
  CodedText reference;  // copied from the pupil mail answered
};

// Writes the reply to the pupil mail in `answeredPath` (kind 20, or 22 with a
// pupil message): the reply carries the pupil mail's number and reference.
// Fails, leaving nothing behind, when the answered file cannot be opened, is
// of another kind or holds no readable pupil message, or when the new file
// cannot be created.
std::optional<WrittenTutorReply> WriteTutorReplyFile(const std::string& answeredPath,
                                                     const TutorReplyContent& content);

// True when `path` is a tutor reply whose record is complete; `reference`
// then receives its reference, otherwise the default CodedText.
bool CheckTutorReplyFile(const std::string& path, CodedText& reference);

}  // namespace quorvel::exchange
