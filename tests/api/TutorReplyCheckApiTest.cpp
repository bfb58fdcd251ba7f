// TessalyPupilQv6IsValid through libquorvel.so: a pupil's host checks a tutor
// reply it received, without a context.
#include <gtest/gtest.h>

#include "../exchange/RecordBytes.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;

// An unpacked tutor reply whose reference is "lesson 3" in code page 1250.
std::string UnpackedReply(bool complete) {
  const std::u16string reference = u"lesson 3";
  const std::string values = U32(6 + 2 * 8) + U16(1250) + Utf16(reference) +  // Coded at 22
                             U32(4);                                           // Wide at 44
  std::vector<std::string> reply = {Entry(10301, 1, 1),  Entry(10302, 13, 22), Entry(10303, 5, 0),
                                    Entry(10304, 8, 44), Entry(10305, 1, 31),  Entry(10306, 13, 22)};
  if (!complete) reply.pop_back();
  return RecordFileBytes(values, Directory({{Entry(10000, 5, 21), Entry(10300, 12, 1)}, reply}));
}

TEST(TutorReplyCheck, AnswersTheReferenceOfACompleteReplyOnly) {
  TempDirectory dir;
  WriteFile(dir / "reply.qv6", UnpackedReply(true));
  WriteFile(dir / "incomplete.qv6", UnpackedReply(false));
  WriteFile(dir / "text.qv6", "not an exchange file");
  struct Case {
    std::string path;
    bool valid;
    CodedText reference;
  };
  for (const Case& c : {Case{dir / "reply.qv6", true, CodedText(1250, WideString(u"lesson 3"))},
                        Case{dir / "incomplete.qv6", false, CodedText::Default()},
                        Case{dir / "text.qv6", false, CodedText::Default()},
                        Case{dir / "missing.qv6", false, CodedText::Default()}}) {
    CodedText reference(1251, WideString(u"stale"));
    EXPECT_EQ(TessalyPupilQv6IsValid(c.path.c_str(), &reference), c.valid) << c.path;
    EXPECT_EQ(reference, c.reference) << c.path;
  }
  EXPECT_TRUE(TessalyPupilQv6IsValid((dir / "reply.qv6").c_str(), nullptr));
  EXPECT_FALSE(TessalyPupilQv6IsValid(nullptr, nullptr));
}

}  // namespace
