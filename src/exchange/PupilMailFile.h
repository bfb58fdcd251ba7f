// The exchange file of a new pupil mail (kind 20): its message, attachments
// and learning data, written and packed in the system's temporary directory
// for the mailbox to file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/PupilMessage.h"

namespace quorvel::exchange {

struct PupilMailContent {
  PupilMessage message;
  std::vector<std::string> attachments;
  std::vector<std::string> tracking;
  std::vector<std::string> diagnostic;
  std::string optionsIni;  // ignored unless it names an existing file
};

// Writes the mail as "~AT" n ".qv6" in the temporary directory and answers
// its path. When the mail answers a tutor reply, `answeredPath` is that
// reply's exchange file, and anything but a readable tutor reply fails the
// call before anything is written. A field or file that cannot be written is
// missing from the item; only a file that cannot be created fails.
std::optional<std::string> WritePupilMailFile(const PupilMailContent& content,
                                              const std::optional<std::string>& answeredPath);

}  // namespace quorvel::exchange
