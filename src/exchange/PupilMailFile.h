// The exchange file of a new pupil mail (kind 20): its message, attachments
// and learning data, written where the mailbox will keep it and packed once.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/ExchangeFile.h"
#include "exchange/PupilMessage.h"

namespace quorvel::exchange {

struct PupilMailContent {
  PupilMessage message;
  std::vector<std::string> attachments;
  std::vector<std::string> tracking;
  std::vector<std::string> diagnostic;
  std::string optionsIni;  // ignored unless it names an existing file
};

// Writes the mail at `path` (missing, or an empty file that reserves the
// name) and packs it, after `finish` (when given) has seen the finished item.
// When the mail answers a tutor reply, `answeredPath` is that reply's
// exchange file, and anything but a readable tutor reply fails the call
// before anything is written. A field or file that cannot be written is
// missing from the item; a file that cannot be created or packed, or a
// finisher that fails, fails the call with nothing packed into `path`.
bool WritePupilMailFile(const PupilMailContent& content,
                        const std::optional<std::string>& answeredPath, const std::string& path,
                        const ItemFinisher& finish = nullptr);

}  // namespace quorvel::exchange
