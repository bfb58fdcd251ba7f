// Writing into the calling context's mailbox: a pupil's mail (a new thread,
// or the answer to a tutor reply), a tutor's reply to a pupil mail, and an
// exchange file the host wrote itself. A mail or reply is written straight
// into the mailbox, stamped there and packed once. Each files the item as not
// yet sent, with the recipients as its outbound routes, and saves the index;
// every failure answers false and leaves the index as it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exchange/PupilMailFile.h"
#include "exchange/TutorReplyFile.h"
#include "frame/ThreadContext.h"
#include "quorvel/CodedTextArray.h"

namespace quorvel {

// `answeredIndex` below the number of items names the tutor reply answered;
// any other value starts a new thread.
bool PupilWriteMail(ThreadContext* context, const exchange::PupilMailContent& content,
                    const std::string& recipient, uint32_t answeredIndex);

// Answers the pupil mail at `answeredIndex`.
bool TutorReplyToMail(ThreadContext* context, const exchange::TutorReplyContent& content,
                      uint32_t answeredIndex, const std::string& recipient);

// Files the exchange file at `path` as a new thread; it stays where it is.
bool AddNewMail(ThreadContext* context, const std::string& path,
                const std::vector<std::string>& recipients, const CodedTextArray& names);

}  // namespace quorvel
