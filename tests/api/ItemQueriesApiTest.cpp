// The item queries and removal through libquorvel.so, on mailboxes the
// exported writers build with threads three deep: parents, none values,
// texts taken over by the host (leak-free under AddressSanitizer), removal.
#include <gtest/gtest.h>

#include <thread>
#include <type_traits>

#include "HostWrites.h"
#include "OnHostThread.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;
// Two threads: mail 1 <- reply 2 <- mail 3 and reply 4 under 1; mail 5.
// Display order 1 2 3 4 5; each item's id is its source id.
void WriteThreads() {
  ASSERT_TRUE(HostWritesMail(99, {.text = u"first mail"}));
  ASSERT_TRUE(HostWritesReply(0, u"first reply"));
  ASSERT_TRUE(HostWritesMail(1, {.text = u"mail \u00E0 reply"}));
  ASSERT_TRUE(HostWritesReply(0, u"second reply"));
  ASSERT_TRUE(HostWritesMail(99, {.text = u"second mail"}));
}

std::vector<uint32_t> Ids() {
  std::vector<uint32_t> ids;
  for (uint32_t i = 0; const IndexEntry* entry = TessalyGetItemAtIndex(i); ++i) {
    ids.push_back(entry->sourceId);
  }
  return ids;
}

TEST(ItemQueriesApi, ThreadsThreeDeepAnswerTheirParentsBeforeAndAfterRemovals) {
  TempDirectory base;
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    WriteThreads();
    ASSERT_EQ(Ids(), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
    const int32_t parentIds[] = {-2, 1, 2, 1, -2};
    const int32_t parentIndexes[] = {-2, 0, 1, 0, -2};
    const uint8_t depths[] = {0, 1, 2, 1, 0};
    const int32_t kinds[] = {20, 21, 20, 21, 20};
    for (uint32_t i = 0; i < 5; ++i) {
      const IndexEntry* entry = TessalyGetItemAtIndex(i);
      EXPECT_EQ(TessalyGetItemAtId(i + 1), entry);
      EXPECT_EQ(entry->depth, depths[i]);
      EXPECT_EQ(TessalyGetSourceId(i + 1), static_cast<int32_t>(i + 1));
      EXPECT_EQ(TessalyGetParentId(i + 1), parentIds[i]) << i;
      EXPECT_EQ(TessalyGetParentIndex(i + 1), parentIndexes[i]) << i;
      EXPECT_EQ(TessalyGetMessageType(i), kinds[i]);
      EXPECT_EQ(TessalyGetDate(i).GetTime(), entry->date);
      EXPECT_NE(entry->date, 0u);
      EXPECT_EQ(TessalyGetItemAttributes(i), 0x0002) << "written here: not yet sent";
    }
    ASSERT_TRUE(TessalyRemoveMailAtIndex(1));  // reply 2 with mail 3
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{1, 4, 5}));
    EXPECT_EQ(TessalyGetParentIndex(4), 0);
    EXPECT_EQ(TessalyGetParentId(5), -2);
    EXPECT_EQ(TessalyGetParentId(3), -1) << "removed";
    EXPECT_EQ(TessalyGetItemAtId(2), nullptr);
    ASSERT_TRUE(HostWritesMail(1, {.text = u"again"}));  // answers reply 4
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{1, 4, 6, 5}));
    EXPECT_EQ(TessalyGetParentIndex(6), 1);
    // Reopened, the same answers.
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{1, 4, 6, 5}));
    EXPECT_EQ(TessalyGetParentId(6), 4);
  });
}

TEST(ItemQueriesApi, TextsPassToTheHostWhichReleasesThemByTakingThemOver) {
  TempDirectory base;
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    WriteThreads();
    ASSERT_TRUE(TessalyChangeItemAttributes(2, 0x0001, 0));
    ASSERT_EQ(TessalyGetItemAttributes(2), 0x0003);
    const std::u16string texts[] = {u"first mail", u"first reply", u"mail \u00E0 reply",
                                    u"second reply", u"second mail"};
    for (uint32_t i = 0; i < 5; ++i) {
      const WideString text = TessalyGetItemMessageText(i).Owned();
      EXPECT_EQ(text.View(), texts[i]);
    }
    EXPECT_EQ(TessalyGetItemAttributes(2), 0x0002) << "read";
    EXPECT_TRUE(TessalyGetItemMessageText(5).Owned().IsEmpty());
    // Reading saved the index: the bit stays cleared after reopening.
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    EXPECT_EQ(TessalyGetItemAttributes(2), 0x0002);
    // A change alone reaches the disk when the mailbox closes: by a reopen,
    // or by the end of the context, in a context that opened the index.
    ASSERT_TRUE(TessalyChangeItemAttributes(0, 0x0040, 0));
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    EXPECT_EQ(TessalyGetItemAttributes(0), 0x0042);
  });
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    ASSERT_TRUE(TessalyChangeItemAttributes(1, 0x0100, 0x0002));
  });
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    EXPECT_EQ(TessalyGetItemAttributes(1), 0x0100);
  });
}

// The time object comes back as the host's time class does: a class with
// its own copy constructor, which every calling convention returns through
// a hidden pointer to the caller's result.
static_assert(sizeof(TimeValue) == 4 && !std::is_trivially_copyable_v<TimeValue>);

TEST(ItemQueriesApi, ParentsFollowDepthsTheHostChangesThroughItsEntries) {
  TempDirectory base;
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    WriteThreads();  // depths 0 1 2 1 0
    ASSERT_EQ(TessalyGetParentId(5), -2);
    ASSERT_EQ(TessalyGetParentId(3), 2);
    TessalyGetItemAtIndex(4)->depth = 2;  // under reply 4
    TessalyGetItemAtIndex(2)->depth = 0;  // mail 3 a root
    EXPECT_EQ(TessalyGetParentId(5), 4);
    EXPECT_EQ(TessalyGetParentIndex(5), 3);
    EXPECT_EQ(TessalyGetParentId(3), -2);
    EXPECT_EQ(TessalyGetParentIndex(4), 2) << "under mail 3, now a root";
    TessalyGetItemAtIndex(4)->depth = 3;  // no item at depth 2 before it
    EXPECT_EQ(TessalyGetParentId(5), -2);
  });
}

void ExpectNoneValues(const char* situation) {
  SCOPED_TRACE(situation);
  EXPECT_EQ(TessalyGetItemAtIndex(0), nullptr);
  EXPECT_EQ(TessalyGetItemAtId(1), nullptr);
  EXPECT_EQ(TessalyGetSourceId(1), -1);
  EXPECT_EQ(TessalyGetParentId(1), -1);
  EXPECT_EQ(TessalyGetParentIndex(1), -1);
  EXPECT_EQ(TessalyGetItemAttributes(0), -1);
  EXPECT_FALSE(TessalyChangeItemAttributes(0, 1, 0));
  EXPECT_EQ(TessalyGetDate(0).GetTime(), 0u);
  EXPECT_EQ(TessalyGetMessageType(0), 255);
  EXPECT_TRUE(TessalyGetItemMessageText(0).Owned().IsEmpty());
  EXPECT_FALSE(TessalyRemoveMailAtIndex(0));
  EXPECT_FALSE(TessalyRemoveMailsAtIndexes("0"));
}

TEST(ItemQueriesApi, EveryQueryAnswersItsNoneValue) {
  std::thread([] { ExpectNoneValues("no context"); }).join();
  TempDirectory base;
  WriteFile(base / "file", "not a directory");
  OnHostThread([&] {
    ExpectNoneValues("no mailbox");
    EXPECT_FALSE(TessalyOpenMailBox((base / "file").c_str(), "anna"));
    ExpectNoneValues("the mailbox failed to open");
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    ExpectNoneValues("an empty mailbox");
    ASSERT_TRUE(HostWritesMail(0));
    ASSERT_TRUE(HostWritesMail(1));
    ASSERT_TRUE(TessalyRemoveMailAtIndex(0));
    // Id 1 is gone, index 1 is past the end.
    EXPECT_EQ(TessalyGetItemAtId(1), nullptr);
    EXPECT_EQ(TessalyGetParentIndex(1), -1);
    EXPECT_EQ(TessalyGetItemAtIndex(1), nullptr);
    EXPECT_EQ(TessalyGetMessageType(1), 255);
    EXPECT_FALSE(TessalyRemoveMailAtIndex(1));
    EXPECT_EQ(TessalyGetSourceId(2), 2);
  });
}

}  // namespace
