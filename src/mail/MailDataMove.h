// Moving a mail's files to another directory, for a caller that moves one
// mail after another into the same directory.
#pragma once

#include <cstdint>
#include <string>

#include "quorvel/MailData.h"

namespace quorvel {

// MailData::MoveToDirectory; `knownNames` is what UniqueNameMovedFrom takes:
// 0 for a first move, then left as the previous move into the same
// directory left it.
bool MoveMailData(MailData& mail, const std::string& directory, uint32_t& knownNames);

}  // namespace quorvel
