// quorvel write: a pupil writes a mail into the mailbox BASE/USER, as a new
// thread or as the answer to the tutor reply at --answer INDEX, through the
// library's exported functions.
#include <cstdio>

#include "ItemOptions.h"
#include "quorvel/quorvel.h"

namespace quorvel::tool {

int RunWrite(const Arguments& arguments) {
  return RunItemCommand("write", kWriteUsage, arguments, 2, true, [](const ItemInput& input) {
    const ItemOptions& options = input.options;
    const ArchivedU32 noOptions;
    const std::vector<std::string> none;
    // An index past every item starts a new thread.
    const uint32_t answered = options.answer.value_or(UINT32_MAX);
    if (!TessalyPupilWriteMail(options.number, &CodedText::Default(), &input.writer, 0, 0,
                               &input.text, &noOptions, 0, "", "", &options.attachments, &none,
                               &none, nullptr, &options.route, answered)) {
      return false;
    }
    if (options.answer) {
      std::printf("filed a pupil mail under the tutor reply at index %u\n", *options.answer);
    } else {
      std::printf("filed a pupil mail as a new thread\n");
    }
    return true;
  });
}

}  // namespace quorvel::tool
