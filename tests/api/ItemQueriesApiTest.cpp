// The item queries and removal through libquorvel.so, on mailboxes the
// exported writers build with threads three deep: parents, none values,
// texts taken over by the host, attributes, removal; opening mailboxes and
// the locking mode. The parent walk over other depths, and where items are
// filed after a removal, are the mailbox's own tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <type_traits>

#include "HostWrites.h"
#include "OnHostThread.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;
std::vector<uint32_t> Ids() {
  std::vector<uint32_t> ids;
  for (uint32_t i = 0; const IndexEntry* entry = TessalyGetItemAtIndex(i); ++i) {
    ids.push_back(entry->sourceId);
  }
  return ids;
}

TEST(ItemQueriesApi, ThreadsThreeDeepAnswerTheirParentsTextsAndAttributes) {
  TempDirectory base;
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    // Two threads: mail 1 <- reply 2 <- mail 3 and reply 4 under 1; mail 5.
    // Display order 1 2 3 4 5; each item's id is its source id.
    ASSERT_TRUE(HostWritesMail(99, {.text = u"first mail"}));
    ASSERT_TRUE(HostWritesReply(0, u"first reply"));
    ASSERT_TRUE(HostWritesMail(1, {.text = u"mail \u00E0 reply"}));
    ASSERT_TRUE(HostWritesReply(0, u"second reply"));
    ASSERT_TRUE(HostWritesMail(99, {.text = u"second mail"}));
    ASSERT_EQ(Ids(), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
    ASSERT_TRUE(TessalyChangeItemAttributes(2, 0x0001, 0));
    ASSERT_EQ(TessalyGetItemAttributes(2), 0x0003);
    const struct {
      int32_t parentId, parentIndex;
      uint8_t depth;
      int32_t kind;
      std::u16string text;
    } items[] = {{-2, -2, 0, 20, u"first mail"}, {1, 0, 1, 21, u"first reply"},
                 {2, 1, 2, 20, u"mail \u00E0 reply"}, {1, 0, 1, 21, u"second reply"},
                 {-2, -2, 0, 20, u"second mail"}};
    for (uint32_t i = 0; i < 5; ++i) {
      SCOPED_TRACE(i);
      const IndexEntry* entry = TessalyGetItemAtIndex(i);
      EXPECT_EQ(TessalyGetItemAtId(i + 1), entry);
      EXPECT_EQ(entry->depth, items[i].depth);
      EXPECT_EQ(TessalyGetSourceId(i + 1), static_cast<int32_t>(i + 1));
      EXPECT_EQ(TessalyGetParentId(i + 1), items[i].parentId);
      EXPECT_EQ(TessalyGetParentIndex(i + 1), items[i].parentIndex);
      EXPECT_EQ(TessalyGetMessageType(i), items[i].kind);
      EXPECT_EQ(TessalyGetDate(i).GetTime(), entry->date);
      EXPECT_NE(entry->date, 0u);
      // The host releases the text by taking it over (leak-free under ASan).
      EXPECT_EQ(TessalyGetItemMessageText(i).Owned().View(), items[i].text);
      EXPECT_EQ(TessalyGetItemAttributes(i), 0x0002) << "written here: not yet sent; read";
    }
    EXPECT_TRUE(TessalyGetItemMessageText(5).Owned().IsEmpty());
    // Reading saved the index; a change alone reaches the disk when the
    // mailbox closes: by a reopen, or by the end of the context.
    ASSERT_TRUE(TessalyChangeItemAttributes(0, 0x0040, 0));
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    EXPECT_EQ(TessalyGetItemAttributes(2), 0x0002);
    EXPECT_EQ(TessalyGetItemAttributes(0), 0x0042);
    ASSERT_TRUE(TessalyChangeItemAttributes(4, 0x0100, 0x0002));
  });
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    EXPECT_EQ(TessalyGetItemAttributes(4), 0x0100);
    ASSERT_TRUE(TessalyRemoveMailsAtIndexes("1"));  // reply 2 with mail 3
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{1, 4, 5}));
    EXPECT_EQ(TessalyGetParentIndex(4), 0);
    EXPECT_EQ(TessalyGetParentId(3), -1) << "removed";
    EXPECT_EQ(TessalyGetItemAtId(2), nullptr);
  });
}

// The time object comes back as the host's time class does: a class with
// its own copy constructor, which every calling convention returns through
// a hidden pointer to the caller's result.
static_assert(sizeof(TimeValue) == 4 && !std::is_trivially_copyable_v<TimeValue>);

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

// Opening makes the directories (also without a context: they are made
// before the context is sought) and, at the close, the index.
TEST(ItemQueriesApi, EveryQueryAnswersItsNoneValueUntilAMailboxIsOpen) {
  TempDirectory base;
  const std::string nested = base / "school/pupils";  // no trailing separator
  std::thread([&] {
    ExpectNoneValues("no context");
    EXPECT_FALSE(TessalyOpenMailBox(nested.c_str(), "anna"));
    EXPECT_EQ(TessalySetDllLockingMode(3), 0u);
  }).join();
  EXPECT_TRUE(std::filesystem::is_directory(nested + "/anna/mailbox"));
  EXPECT_FALSE(std::filesystem::exists(nested + "/anna/mailbox/Mailbox.inv"));
  WriteFile(base / "file", "not a directory");
  OnHostThread([&] {
    ExpectNoneValues("no mailbox");
    EXPECT_FALSE(TessalyOpenMailBox((base / "file").c_str(), "anna"));
    EXPECT_FALSE(TessalyOpenMailBox(nullptr, "anna"));
    ExpectNoneValues("the mailbox failed to open");
    EXPECT_EQ(TessalySetDllLockingMode(3), 0u) << "the mode before";
    EXPECT_EQ(TessalySetDllLockingMode(1), 3u);
    EXPECT_EQ(TessalySetDllLockingMode(0), 1u);
    ASSERT_TRUE(TessalyOpenMailBox(nested.c_str(), "anna"));
    ExpectNoneValues("an empty mailbox");
    EXPECT_TRUE(TessalyOpenMailBox(nested.c_str(), "anna"));  // the same again: closed first
    EXPECT_TRUE(TessalyOpenMailBox(nested.c_str(), "ben"));
  });
  // Each index was written when its mailbox closed: the fresh 23 bytes.
  EXPECT_EQ(ReadFile(nested + "/anna/mailbox/Mailbox.inv").size(), 23u);
  EXPECT_EQ(ReadFile(nested + "/ben/mailbox/Mailbox.inv").size(), 23u);
}

}  // namespace
