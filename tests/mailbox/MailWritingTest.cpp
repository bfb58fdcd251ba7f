// Writing pupil mails and tutor replies into a context's mailbox: where they
// land in the threads, what their entries and stored files carry, and what a
// refused or failed write leaves behind.
#include <gtest/gtest.h>

#include "MailboxFixture.h"
#include "exchange/ItemStamp.h"
#include "exchange/NameHistory.h"
#include "mailbox/MailWriting.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

using exchange::PupilMailContent;
using exchange::TutorReplyContent;

const CodedText kReference(1250, WideString(u"lesson \u0159"));

class MailWritingTest : public MailboxTest {
 protected:
  // The context works on the fixture's mailbox without owning it.
  MailWritingTest() { context.mailbox.reset(&mailbox); }
  ~MailWritingTest() override { static_cast<void>(context.mailbox.release()); }
  bool OpenReadOnly() { return mailbox.OpenIndex(directory.path(), true, 1, 0); }

  PupilMailContent Mail(std::vector<std::string> attachments = {}) {
    PupilMailContent mail;
    mail.message.number = 31;
    mail.message.reference = kReference;
    mail.attachments = std::move(attachments);
    return mail;
  }
  bool Write(uint32_t answered, std::vector<std::string> attachments = {}) {
    return PupilWriteMail(&context, Mail(std::move(attachments)), "3|/out", answered);
  }
  bool Reply(uint32_t answered) {
    return TutorReplyToMail(&context, TutorReplyContent(), answered, "3|/tutor");
  }
  // The number of entries "Mailbox.inv" holds on disk.
  uint32_t SavedCount() const {
    const std::string bytes = ReadFile(directory / "Mailbox.inv");
    return bytes.size() < 20 ? 0 : static_cast<uint8_t>(bytes[16]) | static_cast<uint8_t>(bytes[17]) << 8;
  }

  ThreadContext context;
};

TEST_F(MailWritingTest, MailsAndRepliesLandInTheirThreadsAndTheIndexIsSaved) {
  ASSERT_TRUE(Open());
  WriteFile(outside / "essay.txt", "essay");
  ASSERT_TRUE(Write(UINT32_MAX, {outside / "essay.txt"}));
  EXPECT_EQ(SavedCount(), 1u) << "saved before the call returns";
  ASSERT_TRUE(Write(1));  // index 1 = the number of items: a new thread
  ASSERT_TRUE(Reply(0));
  ASSERT_TRUE(Write(1));  // answers the reply
  EXPECT_EQ(Tree(), "1:0 3:1 4:2 2:0");
  EXPECT_EQ(SavedCount(), 4u);
  EXPECT_EQ(mailbox.Index().outboxQueue, (std::vector<uint32_t>{1, 2, 3, 4}));
  EXPECT_EQ(temporary.Files(), Names{}) << "filed items leave no temporary file";

  const IndexEntry& mail = mailbox.Index().EntryAt(0);
  EXPECT_EQ(mail.messageType, 20u);
  EXPECT_EQ(mail.attributes, kItemNotSent | kItemHasAttachments);
  EXPECT_EQ(mail.outRoutes, std::vector<std::string>{"3|/out"});
  EXPECT_EQ(mail.nameList.Size(), 0u);
  const IndexEntry& reply = mailbox.Index().EntryAt(1);
  EXPECT_EQ(reply.messageType, 21u);
  EXPECT_EQ(reply.attributes, kItemNotSent);
  EXPECT_EQ(reply.outRoutes, std::vector<std::string>{"3|/tutor"});
  ASSERT_EQ(reply.nameList.Size(), 1u) << "the reference is kept as the reply's name";
  EXPECT_EQ(reply.nameList[0], kReference);
  EXPECT_EQ(mailbox.Index().EntryAt(2).nameList.Size(), 0u) << "a pupil's answer keeps no name";

  exchange::ExchangeFile stored;
  ASSERT_TRUE(stored.Open(mailbox.PathOf(reply), true, false));
  exchange::TutorReply record;
  EXPECT_TRUE(record.Read(stored));
  EXPECT_EQ(record.pupilNumber, 31u);
  EXPECT_EQ(record.reference, kReference);
  exchange::ItemStamp stamp;
  ASSERT_TRUE(stamp.Read(stored));
  EXPECT_EQ(stamp.parentId, 1u);
  stored.Close();
  ASSERT_TRUE(stored.Open(mailbox.PathOf(mail), true, false));
  const CodedTextArray history = exchange::NameHistory::Read(stored);
  ASSERT_EQ(history.Size(), 1u);
  EXPECT_EQ(history[0].text.View(), u"essay.txt");
  stored.Close();
}

TEST_F(MailWritingTest, RefusedWritesChangeNothing) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Write(UINT32_MAX));
  ASSERT_TRUE(Reply(0));
  const std::string index = ReadFile(directory / "Mailbox.inv");
  EXPECT_FALSE(PupilWriteMail(&context, Mail(), "", UINT32_MAX)) << "no route";
  EXPECT_FALSE(TutorReplyToMail(&context, TutorReplyContent(), 0, "")) << "no route";
  EXPECT_FALSE(Write(0)) << "a pupil mail answers only a tutor reply";
  EXPECT_FALSE(Reply(1)) << "a tutor answers only a pupil mail";
  EXPECT_FALSE(Reply(2)) << "no item there";
  EXPECT_FALSE(AddNewMail(&context, outside / "missing.qv6", {"3|/out"}, CodedTextArray()));
  EXPECT_FALSE(AddNewMail(&context, NewItem(), {}, CodedTextArray())) << "no recipient";
  EXPECT_EQ(Tree(), "1:0 2:1");
  EXPECT_EQ(ReadFile(directory / "Mailbox.inv"), index);
  EXPECT_EQ(temporary.Files(), Names{});

  ThreadContext withoutMailbox;
  EXPECT_FALSE(PupilWriteMail(&withoutMailbox, Mail(), "3|/out", UINT32_MAX));
  EXPECT_FALSE(TutorReplyToMail(nullptr, TutorReplyContent(), 0, "3|/out"));
  EXPECT_FALSE(AddNewMail(nullptr, NewItem(), {"3|/out"}, CodedTextArray()));
}

TEST_F(MailWritingTest, AMailThatCannotBeFiledStaysInTheTemporaryDirectory) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(mailbox.CloseIndex(true));
  ASSERT_TRUE(OpenReadOnly());  // a read-only mailbox files nothing
  EXPECT_FALSE(Write(UINT32_MAX));
  EXPECT_EQ(temporary.Files(), Names{"~AT0.qv6"});
  EXPECT_EQ(mailbox.Index().Count(), 0u);
}

TEST_F(MailWritingTest, AnIndexThatCannotBeSavedFailsTheWriteAndKeepsTheOldIndex) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Write(UINT32_MAX));
  const std::string saved = ReadFile(directory / "Mailbox.inv");
  {
    platform::FileFaults faults;
    faults.Fail(platform::FileOperation::Sync, 1);
    EXPECT_FALSE(Write(UINT32_MAX));
    EXPECT_TRUE(faults.Fired());
  }
  EXPECT_EQ(mailbox.Index().Count(), 2u) << "the item is filed; the save failed";
  EXPECT_EQ(ReadFile(directory / "Mailbox.inv"), saved);
}

TEST_F(MailWritingTest, AHostsOwnFileIsFiledWhereItIsLeft) {
  ASSERT_TRUE(Open());
  const std::string path = NewItem({exchange::kKindTutorReply});
  const std::string before = ReadFile(path);
  CodedTextArray names;
  names.Add(CodedText(1252, WideString(u"Ben")));
  ASSERT_TRUE(AddNewMail(&context, path, {"3|/a", "3|/b"}, names));
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(SavedCount(), 1u);
  const IndexEntry& entry = mailbox.Index().EntryAt(0);
  EXPECT_EQ(entry.outRoutes, (std::vector<std::string>{"3|/a", "3|/b"}));
  EXPECT_EQ(entry.nameList.Size(), 1u);
  EXPECT_EQ(entry.messageType, 21u);
}

}  // namespace
}  // namespace quorvel::testing
