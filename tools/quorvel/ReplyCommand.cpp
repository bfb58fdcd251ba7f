// quorvel reply: a tutor answers the pupil mail at INDEX of the mailbox
// BASE/USER, through the library's exported functions.
#include <cstdio>

#include "ItemOptions.h"
#include "quorvel/quorvel.h"

namespace quorvel::tool {

int RunReply(const Arguments& arguments) {
  return RunItemCommand("reply", kReplyUsage, arguments, 3, false, [](const ItemInput& input) {
    const ItemOptions& options = input.options;
    uint32_t answered = 0;
    if (!ParseIndex(options.positional[2], answered)) {
      std::fprintf(stderr, "quorvel reply: INDEX must be a number\n");
      return false;
    }
    if (!TessalyTutorReplyToMail(options.number, &input.writer, &input.text, &options.attachments,
                                 answered, &options.route)) {
      return false;
    }
    std::printf("filed a tutor reply under the pupil mail at index %u\n", answered);
    return true;
  });
}

}  // namespace quorvel::tool
