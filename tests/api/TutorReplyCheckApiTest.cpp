// TessalyPupilQv6IsValid through libquorvel.so: a pupil's host checks a tutor
// reply it received, without a context.
#include <gtest/gtest.h>

#include "../exchange/RecordBytes.h"
#include "ByteCases.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;

TEST(TutorReplyCheck, AnswersTheReferenceOfACompleteReplyOnly) {
  TempDirectory dir;
  for (const std::string name : {"tutor-reply", "tutor-reply-incomplete"}) {  // sealed here
    const std::string data = std::string(QUORVEL_TEST_DATA) + "/items/" + name + ".bytes";
    WriteFile(dir / (name + ".qv6"), Resealed(ParseBytes(ReadCaseFile(data))));
  }
  WriteFile(dir / "text.qv6", "not an exchange file");
  struct Case {
    std::string path;
    bool valid;
    CodedText reference;
  };
  const CodedText reference(1250, WideString(u"lesson 3"));
  for (const Case& c : {Case{dir / "tutor-reply.qv6", true, reference},
                        Case{dir / "tutor-reply-incomplete.qv6", false, CodedText::Default()},
                        Case{dir / "text.qv6", false, CodedText::Default()},
                        Case{dir / "missing.qv6", false, CodedText::Default()}}) {
    CodedText answered(1251, WideString(u"stale"));
    EXPECT_EQ(TessalyPupilQv6IsValid(c.path.c_str(), &answered), c.valid) << c.path;
    EXPECT_EQ(answered, c.reference) << c.path;
  }
  EXPECT_TRUE(TessalyPupilQv6IsValid((dir / "tutor-reply.qv6").c_str(), nullptr));
  EXPECT_FALSE(TessalyPupilQv6IsValid(nullptr, nullptr));
}

}  // namespace
