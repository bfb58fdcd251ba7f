// The pupil mail and tutor reply files, written in the temporary directory
// for the mailbox to file.
#include <gtest/gtest.h>

#include "ItemTest.h"
#include "exchange/AttachmentList.h"
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
// only which blocks a mail gets, and where its file lands.
TEST_F(ItemWriters, APupilMailHoldsTheBlocksOfWhatItCarries) {
  PupilMailContent bare = SampleMail();
  bare.optionsIni = dir / "no-such-options.ini";
  const std::optional<std::string> written = WritePupilMailFile(bare, std::nullopt);
  ASSERT_TRUE(written);
  EXPECT_EQ(*written, WorkingDirectory() + "~AT0.qv6");
  EXPECT_EQ(temporary.Files(), Names{"~AT0.qv6"}) << "no working copy is left";
  EXPECT_EQ(RootTags(*written), (std::vector<uint16_t>{10000, 10200}));

  WriteFile(dir / "essay.txt", "essay");
  WriteFile(dir / "track", "t");
  PupilMailContent mail = SampleMail();
  mail.attachments = {dir / "essay.txt"};
  mail.tracking = {dir / "track"};
  const std::optional<std::string> full = WritePupilMailFile(mail, std::nullopt);
  ASSERT_TRUE(full);
  EXPECT_EQ(RootTags(*full), (std::vector<uint16_t>{10000, 10200, 10600, 10800, 10700}));
}

TEST_F(ItemWriters, TheReplyCopiesThePupilMailsNumberAndReference) {
  const std::optional<std::string> mail = WritePupilMailFile(SampleMail(), std::nullopt);
  ASSERT_TRUE(mail);
  WriteFile(dir / "corrected.txt", "corrected");
  TutorReplyContent content;
  content.number = 7;
  content.correspondent = CodedText(1252, WideString(u"Pupil"));
  content.text = WideString(u"answer");
  content.attachments = {dir / "corrected.txt"};
  const std::optional<WrittenTutorReply> reply = WriteTutorReplyFile(*mail, content);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->reference, SampleMail().message.reference);
  EXPECT_EQ(temporary.Files(), (Names{"~AT0.qv6", "~AT1.qv6"}));

  ASSERT_TRUE(file.Open(reply->path, true, false));
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
// cannot show is a tutor reply that also holds a pupil message.
TEST_F(ItemWriters, ATutorReplyHoldingAPupilMessageIsNotAnswered) {
  {
    ExchangeFile odd;
    ASSERT_TRUE(odd.Open(dir / "odd.qv6", false, true));
    odd.SetKind(kKindTutorReply);
    ASSERT_TRUE(SampleMail().message.Write(odd));
    ASSERT_TRUE(odd.Close());
  }
  EXPECT_FALSE(WriteTutorReplyFile(dir / "odd.qv6", TutorReplyContent()));
  EXPECT_EQ(temporary.Files(), Names{}) << "a refused answer leaves nothing behind";
}

}  // namespace
}  // namespace quorvel::exchange
