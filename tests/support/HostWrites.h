// Pupil mails and tutor replies written through the exports as a host
// writes them; the fields no api test looks at are filled in here once.
#pragma once

#include <string>
#include <vector>

#include "quorvel/quorvel.h"

namespace quorvel::testing {

struct HostMail {
  std::u16string pupil = u"Anna";
  std::u16string text = u"text";
  std::string route = "3|/nowhere";
  std::vector<std::string> attachments{}, tracking{}, diagnostic{};
  std::string optionsIni{};
};

// An index past the last item starts a new thread.
inline bool HostWritesMail(uint32_t answeredIndex, const HostMail& mail = {}) {
  const CodedText reference(1252, WideString(u"lesson"));
  const CodedText pupil(1252, WideString(mail.pupil));
  const WideString text(mail.text);
  const ArchivedU32 options(0);
  return TessalyPupilWriteMail(1, &reference, &pupil, 0, 0, &text, &options, 0, "", "",
                               &mail.attachments, &mail.tracking, &mail.diagnostic,
                               &mail.optionsIni, &mail.route, answeredIndex);
}

inline bool HostWritesReply(uint32_t answeredIndex, const std::u16string& text = u"reply",
                            const std::vector<std::string>& attachments = {}) {
  const CodedText tutor(1252, WideString(u"Tutor"));
  const WideString wide(text);
  const std::string route = "3|/nowhere";
  return TessalyTutorReplyToMail(2, &tutor, &wide, &attachments, answeredIndex, &route);
}

}  // namespace quorvel::testing
