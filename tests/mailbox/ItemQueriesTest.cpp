// The item queries on a mailbox: the text of every record kind (the plain
// text as markup), which clears the unread bit and saves the index, and the
// record kind read from the file.
#include <gtest/gtest.h>

#include <filesystem>

#include "MailboxFixture.h"
#include "exchange/PlainTextMessage.h"
#include "mailbox/ItemQueries.h"

namespace quorvel::testing {
namespace {

class ItemQueriesTest : public OpenMailboxTest {
 protected:
  // Files an item of `kind` whose main block holds `text` as a new root,
  // without a stamp; answers its index.
  uint32_t FileText(uint8_t kind, const std::u16string& text, const std::string& plain = "") {
    const std::string path = outside / ("text" + std::to_string(++written) + ".qv6");
    exchange::ExchangeFile file;
    EXPECT_TRUE(file.Open(path, false, true));
    EXPECT_TRUE(file.SetKind(kind));
    if (kind == exchange::kKindPupilMail) {
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
      message.plainText = plain;
      EXPECT_TRUE(message.Write(file));
    }
    EXPECT_TRUE(file.Close());
    uint32_t index = 0;
    EXPECT_NE(mailbox.FileItem(path, 0, nullptr, nullptr, &index, nullptr, true), kNoItem);
    return index;
  }
};

TEST_F(ItemQueriesTest, TheTextOfEveryKindMarksTheItemReadAndSavesTheIndex) {
  struct TextCase {
    uint8_t kind;
    std::u16string stored;
    std::string plain;
    std::u16string expected;
  };
  const TextCase cases[] = {
      {exchange::kKindPupilMail, u"<B1>pupil \u00E9", "", u"<B1>pupil \u00E9"},
      {exchange::kKindTutorReply, u"tutor \u20AC", "", u"tutor \u20AC"},
      {exchange::kKindTimedMessage, u"timed", "", u"timed"},
      {exchange::kKindPlainTextMessage, u"", "na\xEFve \x80 5", u"<Cp1252>na\u00EFve \u20AC 5"},
      {30, u"", "", u""},
  };
  for (const TextCase& c : cases) FileText(c.kind, c.stored, c.plain);
  ASSERT_TRUE(mailbox.CloseIndex(false));
  ASSERT_TRUE(Open());  // from here on only a save writes the index
  for (uint32_t index = 0; index < std::size(cases); ++index) {
    const TextCase& c = cases[index];
    // Unread, and a host bit that only a save carries to the file.
    ASSERT_TRUE(ChangeAttributesAt(&context, index, 0x0101, 0));
    EXPECT_EQ(MessageTextAt(&context, index).View(), c.expected) << int(c.kind);
    EXPECT_EQ(AttributesAt(&context, index), 0x0100) << int(c.kind);
    EXPECT_EQ(MessageTypeAt(&context, index), c.kind);
  }
  ASSERT_TRUE(mailbox.CloseIndex(false));
  ASSERT_TRUE(Open());
  for (uint32_t index = 0; index < std::size(cases); ++index) {
    EXPECT_EQ(AttributesAt(&context, index), 0x0100) << "saved: " << index;
  }
}

TEST_F(ItemQueriesTest, AnItemWhoseFileCannotBeReadKeepsItsUnreadBit) {
  const uint32_t id = FileMail();
  ASSERT_TRUE(ChangeAttributesAt(&context, 0, kItemUnread, 0));
  std::filesystem::remove(mailbox.PathOf(*mailbox.EntryOf(id)));
  EXPECT_TRUE(MessageTextAt(&context, 0).IsEmpty());
  EXPECT_EQ(AttributesAt(&context, 0) & kItemUnread, kItemUnread);
  EXPECT_EQ(MessageTypeAt(&context, 0), 255);
  WriteFile(mailbox.PathOf(*mailbox.EntryOf(id)), "not an item");
  EXPECT_TRUE(MessageTextAt(&context, 0).IsEmpty());
  EXPECT_EQ(MessageTypeAt(&context, 0), 255);
  // A pupil message block that holds the text but not its other fields does
  // not read: no text, but the item did load and counts as read.
  const std::string partial = outside / "partial.qv6";
  exchange::ExchangeFile file;
  ASSERT_TRUE(file.Open(partial, false, true));
  ASSERT_TRUE(file.SetKind(exchange::kKindPupilMail));
  ASSERT_TRUE(file.CreateBlock(exchange::kBlockPupilMessage));
  ASSERT_TRUE(file.PutWide(exchange::PupilMessage::kTagText, WideString(u"half")));
  file.LeaveBlock();
  ASSERT_TRUE(file.Close());
  uint32_t index = 0;
  ASSERT_NE(mailbox.FileItem(partial, 0, nullptr, nullptr, &index, nullptr, true), kNoItem);
  ASSERT_TRUE(ChangeAttributesAt(&context, index, kItemUnread, 0));
  EXPECT_TRUE(MessageTextAt(&context, index).IsEmpty());
  EXPECT_EQ(AttributesAt(&context, index), 0);
}

TEST_F(ItemQueriesTest, TheKindComesFromTheFileAndAttributeChangesClearLast) {
  FileMail();
  FileText(0, u"");  // kind 0 stored
  mailbox.Index().EntryAt(0).messageType = 23;
  EXPECT_EQ(MessageTypeAt(&context, 0), 20);
  EXPECT_EQ(MessageTypeAt(&context, 1), 0);
  ASSERT_EQ(AttributesAt(&context, 0), kItemNotSent);
  ASSERT_TRUE(ChangeAttributesAt(&context, 0, 0x8010, 0x0010));
  EXPECT_EQ(AttributesAt(&context, 0), -32766) << "0x8002 as a signed word";
  EXPECT_FALSE(ChangeAttributesAt(&context, 2, 1, 0));
}

}  // namespace
}  // namespace quorvel::testing
