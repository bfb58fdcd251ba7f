// The exchange file of a tutor's reply (kind 21) to a pupil mail, written
// where the mailbox will keep it and packed once, and the check a pupil's
// host makes on a tutor reply it received.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "exchange/ExchangeFile.h"
#include "quorvel/CodedText.h"
#include "quorvel/WideString.h"

namespace quorvel::exchange {

struct TutorReplyContent {
  uint32_t number = 0;
  CodedText correspondent;
  WideString text;
  std::vector<std::string> attachments;
};

// Writes the reply to the pupil mail in `answeredPath` (kind 20, or 22 with a
// pupil message) at `path` (missing, or an empty file that reserves the name)
// and packs it, after `finish` (when given) has seen the finished item. The
// reply carries the pupil mail's number and reference; the answer is that
// reference. Fails, with nothing packed into `path`, when the answered file
// cannot be opened, is of another kind or holds no readable pupil message,
// when the new file cannot be created or packed, or when the finisher fails.
std::optional<CodedText> WriteTutorReplyFile(const std::string& answeredPath,
                                             const TutorReplyContent& content,
                                             const std::string& path,
                                             const ItemFinisher& finish = nullptr);

// True when `path` is a tutor reply whose record is complete; `reference`
// then receives its reference, otherwise the default CodedText.
bool CheckTutorReplyFile(const std::string& path, CodedText& reference);

}  // namespace quorvel::exchange
