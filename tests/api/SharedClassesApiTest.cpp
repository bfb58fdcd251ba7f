// The classes hosts share with the library are header-only: a host that links
// nothing but libquorvel.so builds, copies and frees them, and hands them to
// the exports.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "quorvel/ArchivedU32.h"
#include "quorvel/CodedTextArray.h"
#include "quorvel/quorvel.h"

namespace {

TEST(SharedClasses, AHostBuildsCopiesAndPassesThem) {
  CodedTextArray names;
  names.Add(CodedText(1252, WideString(u"Pupil P")));
  names.Adopt(std::make_unique<CodedText>(1250, WideString(u"\u0158eh\u00E1k")));
  const CodedTextArray copy = names;
  names.RemoveAt(0);
  ASSERT_EQ(copy.Size(), 2u) << "the copy is deep";
  EXPECT_EQ(copy[1].text.Right(4).View(), u"eh\u00E1k");
  CodedTextArray assigned;
  assigned = names;
  const CodedTextArray moved = std::move(assigned);
  ASSERT_EQ(moved.Size(), 1u);
  EXPECT_EQ(moved[0], copy[1]);
  EXPECT_TRUE(assigned.IsEmpty());
  EXPECT_EQ(CodedText::Default().codePage, 1252);
  EXPECT_EQ(ArchivedU32(7).value, 7u);

  std::thread host([&] {
    ASSERT_NE(MTAddNew(nullptr), 0);
    EXPECT_TRUE(MailsUseSMTP_POP("127.0.0.1", 110, "pupil", "pw", "127.0.0.1", 25, &copy[0],
                                 nullptr, 0));
    MTRemove();
  });
  host.join();
}

}  // namespace
