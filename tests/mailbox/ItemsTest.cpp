// The text of every record kind (marking the item read), and the index lists
// removals read. (Removal itself: tests/data/mailbox-scripts.)
#include <gtest/gtest.h>

#include <functional>

#include "MailboxFixture.h"
#include "exchange/PlainTextMessage.h"
#include "mailbox/ItemQueries.h"
#include "mailbox/ItemRemoval.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

class ItemsTest : public OpenMailboxTest {
 protected:
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
