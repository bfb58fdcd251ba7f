// The record structures of the items: round trips through a packed exchange
// file, the refusal to write a block twice, and the stamp with its keys.
// (Reads of incomplete or absent records, the timed and the plain text
// message are the record scripts', tests/data/record-scripts.)
#include <gtest/gtest.h>

#include "ItemTest.h"
#include "exchange/ExchangeFile.h"
#include "exchange/ItemKey.h"
#include "exchange/ItemStamp.h"
#include "exchange/PupilMessage.h"
#include "exchange/RecordKinds.h"
#include "exchange/TutorReply.h"
#include "platform/Clock.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;
using RecordStructures = ItemTest<ExchangeFile>;

PupilMessage SamplePupilMessage() {
  PupilMessage message;
  message.number = 4711;
  message.correspondent = CodedText(1252, WideString(u"Tutor T\u00E9"));
  message.reference = CodedText(1250, WideString(u"ref-\u0159"));
  for (int b = 1; b < 256; ++b) message.noteA += static_cast<char>(b);
  message.noteB = "\x80\x81\x8D\x8F\x90\x9D\xFF";  // bytes 1252 leaves undefined among them
  message.messageFlagA = 1;
  message.messageFlagC = 2;
  message.messageFlagD = 0;
  message.messageFlagB = 4;
  message.options = ArchivedU32(0xA5A5);
  message.text = WideString(u"{markup}Bonjour");
  message.secondText = WideString(u"second");
  return message;
}

TEST_F(RecordStructures, PupilMessageRoundTripsAndItsNotesComeBackByteForByte) {
  const PupilMessage written = SamplePupilMessage();
  WriteThenReopen([&](RecordFile& f) {
    f.SetKind(kKindPupilMail);
    EXPECT_TRUE(written.Write(f));
  });
  PupilMessage read;
  ASSERT_TRUE(read.Read(file));
  const auto fields = [](const PupilMessage& m) {
    return std::tie(m.number, m.correspondent, m.reference, m.noteA, m.noteB, m.messageFlagA,
                    m.messageFlagB, m.messageFlagC, m.messageFlagD, m.options, m.text, m.secondText);
  };
  EXPECT_TRUE(fields(read) == fields(written));
  CodedText noteB;
  ASSERT_TRUE(file.EnterBlock(kBlockPupilMessage));
  ASSERT_TRUE(file.GetCoded(PupilMessage::kTagNoteB, noteB));
  EXPECT_EQ(noteB.codePage, 1252) << "notes are stored in code page 1252";
  EXPECT_EQ(noteB.text.View(), u"\u20AC\u0081\u008D\u008F\u0090\u009D\u00FF");
}

// A second record of a kind is refused and the first stays (the reply's
// round trip is the reply writer's test).
TEST_F(RecordStructures, APupilMessageAndATutorReplyAreWrittenOnce) {
  PupilMessage second = SamplePupilMessage();
  TutorReply reply;
  reply.number = 12;
  WriteThenReopen([&](RecordFile& f) {
    f.SetKind(kKindPupilMail);
    EXPECT_TRUE(SamplePupilMessage().Write(f));
    second.number = 1;
    EXPECT_FALSE(second.Write(f));
    EXPECT_EQ(f.Kind(), kKindPupilMail) << "the refused write left the root current";
    EXPECT_TRUE(reply.Write(f));
    reply.number = 13;
    EXPECT_FALSE(reply.Write(f));
  });
  PupilMessage read;
  TutorReply readReply;
  ASSERT_TRUE(read.Read(file));
  ASSERT_TRUE(readReply.Read(file));
  EXPECT_EQ(std::make_tuple(read.number, readReply.number, readReply.replyFlag),
            std::make_tuple(4711u, 12u, uint8_t{0}));
}

TEST_F(RecordStructures, ItemStampKeepsItsCreatedTimeWhenRewritten) {
  ItemStamp stamp;
  stamp.itemId = 7;
  stamp.parentId = 3;
  const uint32_t before = platform::UtcSecondsNow();
  WriteThenReopen([&](RecordFile& f) {
    f.SetKind(kKindPupilMail);
    EXPECT_TRUE(stamp.Write(f));
  });
  EXPECT_GE(stamp.created, before);
  EXPECT_EQ(stamp.modified, stamp.created);
  ItemStamp read;
  ASSERT_TRUE(read.Read(file));
  EXPECT_EQ(std::tie(read.itemId, read.parentId, read.created), std::make_tuple(7u, 3u, stamp.created));
  file.Close();

  ASSERT_TRUE(file.Open(path, false, false));
  ItemStamp again;
  again.itemId = 8;
  again.created = 1000;  // an existing stamp keeps the created time it is given
  EXPECT_TRUE(again.Write(file));
  EXPECT_TRUE(file.Close());
  ASSERT_TRUE(file.Open(path, true, false));
  ASSERT_TRUE(read.Read(file));
  EXPECT_EQ(std::tie(read.itemId, read.parentId, read.created), std::make_tuple(8u, 0u, 1000u));
  EXPECT_GE(read.modified, before);
}

// The keys are two Wide values of their own in the stamp block: 32 hex digits
// of the mailbox key, 8 of the id. The stamp's own values read as before.
TEST_F(RecordStructures, ItemKeysTravelBesideTheStampAndChangeNothingOfIt) {
  ItemKey own;
  for (uint8_t i = 0; i < 16; ++i) own.mailbox[i] = static_cast<uint8_t>(0x11 * i);
  own.item = 0x2A;
  ItemKey parent = own;
  parent.mailbox[15] = 0x0F;
  parent.item = 0xFEDCBA98;
  ItemStamp stamp;
  stamp.itemId = 7;
  stamp.parentId = 3;
  WriteThenReopen([&](RecordFile& f) {
    EXPECT_FALSE(WriteStampKeys(f, {own, parent}));  // no stamp yet
    EXPECT_TRUE(stamp.Write(f));
    EXPECT_TRUE(WriteStampKeys(f, {parent, std::nullopt}));
    EXPECT_TRUE(WriteStampKeys(f, {own, parent}));  // replaces
  });
  ItemStamp read;
  EXPECT_TRUE(read.Read(file));
  EXPECT_EQ(std::tie(read.itemId, read.parentId, read.created, read.modified),
            std::tie(stamp.itemId, stamp.parentId, stamp.created, stamp.modified));
  const StampKeys keys = ReadStampKeys(file);
  EXPECT_EQ(keys.own, own);
  EXPECT_EQ(keys.parent, parent);
  ASSERT_TRUE(file.EnterBlock(kBlockItemStamp));
  WideString text;
  EXPECT_TRUE(file.GetWide(10105, text));
  EXPECT_EQ(text.View(), u"00112233445566778899aabbccddeeff0000002a");
  EXPECT_TRUE(file.GetWide(10106, text));
  EXPECT_EQ(text.View(), u"00112233445566778899aabbccddee0ffedcba98");
  EXPECT_EQ(file.CurrentEntries()->Size(), 6u);
  file.LeaveBlock();
  for (const char16_t* bad : {u"", u"00112233445566778899aabbccddeeff0000002", u"00112233445566778899aabbccddeeff0000002A",
                              u"00112233445566778899aabbccddeeff0000002g", u"00112233445566778899aabbccddeeff0000002a0"}) {
    EXPECT_EQ(ItemKey::FromText(bad), std::nullopt) << std::u16string(bad).size();
  }
}

}  // namespace
}  // namespace quorvel::exchange
