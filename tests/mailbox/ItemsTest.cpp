// Item queries and removal on an open mailbox: the text of every record kind
// (marking it read), the kind from the file; threads, lists and the outbox
// queue removed, ids never given again, files gone or stuck, failed saves.
#include <gtest/gtest.h>

#include <functional>

#include "MailboxFixture.h"
#include "exchange/PlainTextMessage.h"
#include "mailbox/ItemQueries.h"
#include "mailbox/ItemRemoval.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

class ItemsTest : public OpenMailboxTest {
 protected:
  void Reopen(bool readOnly = false) {
    ASSERT_TRUE(mailbox.CloseIndex(false));
    ASSERT_TRUE(mailbox.OpenIndex(directory.path(), readOnly, 1, 0));
  }
  // A: 1, its replies 2 (with the reply 3) and 4, then the root 5.
  void FileThreads() {
    for (const uint32_t parent : {0u, 1u, 2u, 1u, 0u}) parent ? FileAnswer(parent) : FileMail();
    ASSERT_EQ(Tree(), "1:0 2:1 3:2 4:1 5:0");
  }
  std::string FileOf(uint32_t id) { return mailbox.PathOf(*mailbox.EntryOf(id)); }
  // Files as a new root an item of `kind` whose main block holds `text` (a
  // plain text message: its units as bytes; `whole` false: the text alone).
  uint32_t FileText(uint8_t kind, const std::u16string& text, bool whole = true) {
    const std::string path = outside / ("text" + std::to_string(++written) + ".qv6");
    exchange::ExchangeFile file;
    EXPECT_TRUE(file.Open(path, false, true) && file.SetKind(kind));
    if (kind == exchange::kKindPupilMail && !whole) {
      EXPECT_TRUE(file.CreateBlock(exchange::kBlockPupilMessage));
      EXPECT_TRUE(file.PutWide(exchange::PupilMessage::kTagText, WideString(text)));
      file.LeaveBlock();
    } else if (kind == exchange::kKindPupilMail) {
      exchange::PupilMessage message;
      message.text = WideString(text);
      EXPECT_TRUE(message.Write(file));
    } else if (kind == exchange::kKindTutorReply) {
      exchange::TutorReply reply;
      reply.text = WideString(text);
      EXPECT_TRUE(reply.Write(file));
    } else if (kind == exchange::kKindTimedMessage) {
      EXPECT_TRUE(file.CreateBlock(exchange::kBlockTimedMessage));
      EXPECT_TRUE(file.PutTime(10401, 5) && file.PutU32(10402, 1) && file.PutU32(10403, 2));
      EXPECT_TRUE(file.PutWide(10404, WideString(text)));
      file.LeaveBlock();
    } else if (kind == exchange::kKindPlainTextMessage) {
      exchange::PlainTextMessage message;
      message.plainText = std::string(text.begin(), text.end());
      EXPECT_TRUE(message.Write(file));
    }
    EXPECT_TRUE(file.Close());
    uint32_t index = 0;
    EXPECT_NE(mailbox.FileItem(path, 0, nullptr, nullptr, &index, nullptr, true), kNoItem);
    return index;
  }
};

// A pupil message of the text alone does not read, but its item counts as read.
TEST_F(ItemsTest, TheTextOfEveryKindMarksTheItemReadAndSavesTheIndex) {
  const struct {
    uint8_t kind;
    std::u16string stored, expected;
    bool whole = true;
  } cases[] = {
      {exchange::kKindPupilMail, u"<B1>pupil \u00E9", u"<B1>pupil \u00E9"},
      {exchange::kKindPupilMail, u"half", u"", false},
      {exchange::kKindTutorReply, u"tutor \u20AC", u"tutor \u20AC"},
      {exchange::kKindTimedMessage, u"timed", u"timed"},
      {exchange::kKindPlainTextMessage, u"na\u00EFve \u0080 5", u"<Cp1252>na\u00EFve \u20AC 5"},
      {30, u"", u""},
      {0, u"", u""},
  };
  for (const auto& c : cases) FileText(c.kind, c.stored, c.whole);
  ASSERT_TRUE(mailbox.CloseIndex(false));
  ASSERT_TRUE(Open());  // from here on only a save writes the index
  for (uint32_t index = 0; index < std::size(cases); ++index) {
    // Unread, and a host bit that only a save carries to the file.
    ASSERT_TRUE(ChangeAttributesAt(&context, index, 0x0101, 0));
    EXPECT_EQ(MessageTextAt(&context, index).View(), cases[index].expected) << index;
    EXPECT_EQ(AttributesAt(&context, index), 0x0100) << index;
    EXPECT_EQ(MessageTypeAt(&context, index), cases[index].kind);
  }
  ASSERT_TRUE(mailbox.CloseIndex(false));
  ASSERT_TRUE(Open());
  for (uint32_t index = 0; index < std::size(cases); ++index) {
    EXPECT_EQ(AttributesAt(&context, index), 0x0100) << "saved: " << index;
  }
}

TEST_F(ItemsTest, AnItemWhoseFileCannotBeReadKeepsItsUnreadBit) {
  const uint32_t id = FileMail();
  ASSERT_TRUE(ChangeAttributesAt(&context, 0, kItemUnread, 0));
  const auto unreadable = [&] {
    EXPECT_TRUE(MessageTextAt(&context, 0).IsEmpty());
    EXPECT_EQ(AttributesAt(&context, 0) & kItemUnread, kItemUnread);
    EXPECT_EQ(MessageTypeAt(&context, 0), 255);
  };
  fs::remove(FileOf(id));
  unreadable();
  WriteFile(FileOf(id), "not an item");
  unreadable();
}

TEST_F(ItemsTest, TheKindComesFromTheFileAndAttributeChangesClearLast) {
  FileMail();
  mailbox.Index().EntryAt(0).messageType = 23;
  EXPECT_EQ(MessageTypeAt(&context, 0), 20);
  ASSERT_EQ(AttributesAt(&context, 0), kItemNotSent);
  ASSERT_TRUE(mailbox.SaveIndex());
  mailbox.SetDirty(false);
  ASSERT_TRUE(ChangeAttributesAt(&context, 0, 0x8010, 0x0010));
  EXPECT_EQ(AttributesAt(&context, 0), -32766) << "0x8002 as a signed word";
  ASSERT_TRUE(mailbox.CloseIndex(false));
  ASSERT_TRUE(Open());
  EXPECT_EQ(AttributesAt(&context, 0), -32766) << "saved at the close";
  EXPECT_FALSE(ChangeAttributesAt(&context, 1, 1, 0));
}

// A removed item's working copy and id in the queue go with it; a root takes
// its thread along; the index is saved; ids are never given out again.
TEST_F(ItemsTest, ARootGoesWithItsThreadAndRemovedIdsAreNeverGivenAgain) {
  FileThreads();
  mailbox.Index().outboxQueue = {5, 99, 3, 1, 4, 2};  // 99: no longer listed
  ASSERT_NE(mailbox.LoadItem(3, true), nullptr);
  ASSERT_TRUE(RemoveMailAtIndex(&context, 2));  // 3
  EXPECT_EQ(temporary.Files(), Names{}) << "a removed item's working copy goes with it";
  EXPECT_EQ(mailbox.Index().outboxQueue, (std::vector<uint32_t>{5, 1, 4, 2}));
  ASSERT_TRUE(RemoveMailAtIndex(&context, 0));
  EXPECT_EQ(Tree(), "5:0");
  EXPECT_EQ(ItemFiles(), 1u) << "four files deleted";
  EXPECT_EQ(mailbox.Index().outboxQueue, (std::vector<uint32_t>{5}));
  Reopen();
  EXPECT_EQ(Tree(), "5:0") << "the index was saved";
  ASSERT_TRUE(RemoveMailsAtIndexes(&context, "0"));
  EXPECT_TRUE(mailbox.Index().outboxQueue.empty());
  EXPECT_EQ(FileMail(), 6u);
  ASSERT_TRUE(RemoveMailAtIndex(&context, 0));
  Reopen();
  EXPECT_EQ(FileMail(), 7u);
}

TEST_F(ItemsTest, AListRemovesEachIndexAsItWasBeforeAnyRemoval) {
  for (uint32_t id = 1; id <= 6; ++id) ASSERT_EQ(FileMail(), id);
  EXPECT_TRUE(RemoveMailsAtIndexes(&context, " 3 , 1 ,5 "));
  EXPECT_EQ(Tree(), "1:0 3:0 5:0");
  EXPECT_EQ(ItemFiles(), 3u);
  // A parent and its reply: the reply goes first, then the parent.
  ASSERT_EQ(FileAnswer(3), 7u);
  EXPECT_TRUE(RemoveMailsAtIndexes(&context, "1,2"));
  EXPECT_EQ(Tree(), "1:0 5:0");
  // How pieces are read is the list reader's test below.
  EXPECT_FALSE(RemoveMailsAtIndexes(&context, "0x,1")) << "a piece that is not an index";
  EXPECT_EQ(Tree(), "1:0") << "the pieces that are go";
}

TEST_F(ItemsTest, FilesThatAreGoneOrCannotBeDeletedDoNotStopARemoval) {
  FileThreads();
  fs::remove(FileOf(3));
  // A directory where the item file was cannot be deleted as a file.
  const std::string stuck = FileOf(2);
  fs::remove(stuck);
  fs::create_directory(stuck);
  WriteFile(stuck + "/inside", "x");
  ASSERT_TRUE(RemoveMailAtIndex(&context, 1));
  EXPECT_EQ(Tree(), "1:0 4:1 5:0");
  EXPECT_TRUE(fs::is_directory(stuck)) << "left behind, listed nowhere";
  Reopen();
  EXPECT_EQ(Tree(), "1:0 4:1 5:0");
}

TEST_F(ItemsTest, ARemovalWhoseSaveFailsKeepsItsFilesAndSaysSo) {
  FileThreads();
  // Each removal records its files beside the index (one write), then saves.
  const auto saveFails = [&](const std::function<bool()>& remove) {
    platform::FileFaults faults;
    faults.Fail(platform::FileOperation::Write, 2);
    return !remove() && faults.Fired();
  };
  EXPECT_TRUE(saveFails([&] { return RemoveMailAtIndex(&context, 1); }));
  EXPECT_EQ(Tree(), "1:0 4:1 5:0") << "removed in memory";
  EXPECT_EQ(ItemFiles(), 5u) << "the index on disk still lists every file";
  EXPECT_TRUE(saveFails([&] { return RemoveMailsAtIndexes(&context, "2"); }));
  EXPECT_EQ(ItemFiles(), 5u);
  ASSERT_TRUE(RemoveMailAtIndex(&context, 0));
  EXPECT_EQ(Tree(), "");
  EXPECT_EQ(ItemFiles(), 3u) << "the files of the last removal only: 2, 3 and 5 stay behind";
}

TEST_F(ItemsTest, NothingIsRemovedWithoutAnItemOrFromAReadOnlyMailbox) {
  FileThreads();
  ASSERT_TRUE(ChangeAttributesAt(&context, 0, 0x0100, 0));
  EXPECT_FALSE(RemoveMailAtIndex(&context, 5));
  EXPECT_FALSE(RemoveMailsAtIndexes(&context, "9,-1"));
  Reopen(true);
  EXPECT_EQ(AttributesAt(&context, 0) & 0x0100, 0x0100) << "saved although nothing was removed";
  std::vector<std::string> files;
  EXPECT_FALSE(RemoveItem(mailbox, 1, files));
  EXPECT_FALSE(RemoveMailAtIndex(&context, 0));
  EXPECT_FALSE(RemoveMailsAtIndexes(&context, "0"));
  EXPECT_EQ(Tree(), "1:0 2:1 3:2 4:1 5:0");
  EXPECT_EQ(ItemFiles(), 5u);
  ASSERT_TRUE(mailbox.CloseIndex(false));
  EXPECT_FALSE(RemoveItem(mailbox, 1, files));
  EXPECT_TRUE(files.empty());
}

TEST(IndexList, PiecesAreReadOnlyWhenTheyAreWholeNumbers) {
  const struct {
    const char* text;
    std::vector<int64_t> indexes;
    bool allRead;
  } cases[] = {
      {"3, 1 ,5", {5, 3, 1}, true},
      {"", {}, true},
      {",", {}, true},
      {" 7 , ,7,,", {7}, true},
      {"+4,-1,04", {4, -1}, true},
      {"x", {}, false},
      {"1x,2", {2}, false},
      {"-,+,2", {2}, false},
      {"1\t,2", {2}, false},
      {"99999999999999999999999", {int64_t{1} << 33}, true},
  };
  for (const auto& c : cases) {
    bool allRead = false;
    EXPECT_EQ(IndexesOfList(c.text, allRead), c.indexes) << '"' << c.text << '"';
    EXPECT_EQ(allRead, c.allRead) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace quorvel::testing
