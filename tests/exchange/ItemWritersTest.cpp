// The pupil mail and tutor reply files, written where they will stay and
// packed once, after the mailbox's finisher has seen them.
#include <gtest/gtest.h>

#include "ItemTest.h"
#include "exchange/AttachmentList.h"
#include "exchange/ItemStamp.h"
#include "exchange/ExchangeFile.h"
#include "exchange/PupilMailFile.h"
#include "exchange/RecordKinds.h"
#include "exchange/TutorReply.h"
#include "exchange/TutorReplyFile.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;
using ItemWriters = ItemTest<ExchangeFile>;

PupilMailContent SampleMail() {
  PupilMailContent mail;
  mail.message.number = 31;
  mail.message.reference = CodedText(1250, WideString(u"lesson \u0159"));
  mail.message.correspondent = CodedText(1252, WideString(u"Tutor"));
  mail.message.text = WideString(u"question");
  return mail;
}

// The tags of the root block of a packed item.
std::vector<uint16_t> RootTags(const std::string& path) {
  ExchangeFile item;
  std::vector<uint16_t> tags;
  if (!item.Open(path, true, false)) return tags;
  for (const TagEntry& entry : *item.CurrentEntries()) tags.push_back(entry.tag);
  item.Close();
  return tags;
}

// What the blocks hold is the stored files' and the exports' concern; here
// only which blocks a mail gets, and that no working copy is left.
TEST_F(ItemWriters, APupilMailHoldsTheBlocksOfWhatItCarries) {
  PupilMailContent bare = SampleMail();
  bare.optionsIni = dir / "no-such-options.ini";
  ASSERT_TRUE(WritePupilMailFile(bare, std::nullopt, dir / "bare.qv6"));
  EXPECT_EQ(temporary.Files(), Names{}) << "no working copy is left";
  EXPECT_EQ(RootTags(dir / "bare.qv6"), (std::vector<uint16_t>{10000, 10200}));

  WriteFile(dir / "essay.txt", "essay");
  WriteFile(dir / "track", "t");
  PupilMailContent mail = SampleMail();
  mail.attachments = {dir / "essay.txt"};
  mail.tracking = {dir / "track"};
  ASSERT_TRUE(WritePupilMailFile(mail, std::nullopt, dir / "full.qv6"));
  EXPECT_EQ(RootTags(dir / "full.qv6"), (std::vector<uint16_t>{10000, 10200, 10600, 10800, 10700}));
}

// The finisher writes into the finished item before it is packed; one that
// fails leaves nothing packed and no working copy.
TEST_F(ItemWriters, TheFinisherStampsTheItemBeforeItIsPackedOrAbandonsIt) {
  ItemStamp stamp;
  stamp.itemId = 9;
  const ItemFinisher stamping = [&](ExchangeFile& item) { return stamp.Write(item); };
  ASSERT_TRUE(WritePupilMailFile(SampleMail(), std::nullopt, dir / "stamped.qv6", stamping));
  ASSERT_TRUE(file.Open(dir / "stamped.qv6", true, false));
  ItemStamp read;
  ASSERT_TRUE(read.Read(file));
  EXPECT_EQ(read.itemId, 9u);
  file.Close();

  const ItemFinisher refusing = [](ExchangeFile& item) { return item.Kind() != kKindPupilMail; };
  EXPECT_FALSE(WritePupilMailFile(SampleMail(), std::nullopt, dir / "refused.qv6", refusing));
  EXPECT_FALSE(WriteTutorReplyFile(dir / "stamped.qv6", TutorReplyContent(), dir / "r.qv6",
                                   [](ExchangeFile&) { return false; }));
  EXPECT_EQ(ReadFile(dir / "refused.qv6"), "");
  EXPECT_EQ(ReadFile(dir / "r.qv6"), "");
  EXPECT_EQ(temporary.Files(), Names{});
}

TEST_F(ItemWriters, TheReplyCopiesThePupilMailsNumberAndReference) {
  ASSERT_TRUE(WritePupilMailFile(SampleMail(), std::nullopt, dir / "mail.qv6"));
  WriteFile(dir / "corrected.txt", "corrected");
  TutorReplyContent content;
  content.number = 7;
  content.correspondent = CodedText(1252, WideString(u"Pupil"));
  content.text = WideString(u"answer");
  content.attachments = {dir / "corrected.txt"};
  const std::optional<CodedText> reference =
      WriteTutorReplyFile(dir / "mail.qv6", content, dir / "reply.qv6");
  ASSERT_TRUE(reference);
  EXPECT_EQ(*reference, SampleMail().message.reference);
  EXPECT_EQ(temporary.Files(), Names{});

  ASSERT_TRUE(file.Open(dir / "reply.qv6", true, false));
  EXPECT_EQ(file.Kind(), kKindTutorReply);
  TutorReply read;
  ASSERT_TRUE(read.Read(file));
  EXPECT_EQ(read.number, 7u);
  EXPECT_EQ(read.pupilNumber, 31u);
  EXPECT_EQ(read.reference, SampleMail().message.reference);
  EXPECT_EQ(read.correspondent, content.correspondent);
  EXPECT_EQ(read.text, content.text);
  CodedTextArray names;
  EXPECT_EQ(AttachmentList::Read(file, names), 1);
  file.Close();
}

// Which items may be answered is asserted through the exports; what they
// cannot show is a tutor reply that also holds a pupil message, and a timed
// message (kind 22) that holds one.
TEST_F(ItemWriters, ATutorReplyHoldingAPupilMessageIsNotAnswered) {
  for (const uint8_t kind : {kKindTutorReply, kKindTimedMessage}) {
    ExchangeFile odd;
    ASSERT_TRUE(odd.Open(dir / (std::to_string(kind) + ".qv6"), false, true));
    odd.SetKind(kind);
    ASSERT_TRUE(SampleMail().message.Write(odd));
    ASSERT_TRUE(odd.Close());
  }
  EXPECT_TRUE(WriteTutorReplyFile(dir / "22.qv6", TutorReplyContent(), dir / "timed.qv6"));
  std::filesystem::rename(dir / "21.qv6", dir / "odd.qv6");
  EXPECT_FALSE(WriteTutorReplyFile(dir / "odd.qv6", TutorReplyContent(), dir / "r.qv6"));
  EXPECT_FALSE(std::filesystem::exists(dir / "r.qv6")) << "a refused answer leaves nothing behind";
  EXPECT_EQ(temporary.Files(), Names{});
}

}  // namespace
}  // namespace quorvel::exchange
