// Filing received items, and receiving runs over a shared directory and a POP
// maildrop: a source lets go only after the save, and keeps what was not
// safely filed. (Damaged item bytes are the exchange tests'.)
#include <gtest/gtest.h>

#include "FaultSweep.h"
#include "PopMailDrop.h"
#include "ScriptedServer.h"
#include "MailboxFixture.h"
#include <cstdlib>

#include "exchange/PlainTextMessage.h"
#include "frame/DailyLogFile.h"
#include "mailbox/InboundProtocols.h"
#include "mailbox/MailboxContext.h"
#include "mailbox/Receiving.h"
#include "platform/Clock.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

class ReceivingTest : public OpenMailboxTest {
 protected:
  // An item another mailbox sent as its item 70.
  std::string Received(const std::string& path, uint32_t parentId, const ItemContent& content = {}) {
    return WriteSentItem(path, content, payload, 70, parentId);
  }
  static Names FilesIn(const std::string& path) {
    Names names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDirectory shared;
};

// A received file gives its entry; taken, it becomes the item by a rename (its
// bytes not written again); one that is not an item, or is copied, stays.
TEST_F(ReceivingTest, AReceivedFileGivesItsEntryAndIsTakenOrOnlyRead) {
  const struct {
    ItemContent content;
    uint8_t flagA, flagB;
    uint16_t attributes;
    bool take = false, item = true;
  } cases[] = {
      {{.kind = 20, .flagA = 3, .flagB = 4, .attachment = true, .number = 7}, 3, 4, 0x0009},
      {{.kind = 21, .optionsUpdate = true, .number = 8}, 0, 0, 0x2001},
      {{.kind = 22, .flagA = 5, .number = 9}, 5, 0, 0x0001},
      {{.kind = 20, .flagA = 3, .flagB = 4, .attachment = true, .number = 7}, 3, 4, 0x0009, true},
      {{}, 0, 0, 0, true, false},
  };
  uint32_t expectedId = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.content.kind) + (c.take ? " taken" : ""));
    const std::string path = directory / "~AT9.tmp";
    if (c.item) {
      WriteSentItem(path, c.content, payload, 69 + expectedId, 55);
    } else {
      WriteFile(path, "not an item");
    }
    const std::string bytes = ReadFile(path);
    // A second name of the received file tells whether the item is that file.
    const std::string same = outside / ("same" + std::to_string(expectedId));
    std::filesystem::create_hard_link(path, same);
    const uint32_t before = platform::UtcSecondsNow();
    IndexEntry copy;
    copy.outRoutes = {"kept"};
    uint32_t index = 99, number = 0;
    bool notAnItem = c.item;
    platform::FileFaults faults;
    if (c.item && c.take) faults.FillDiskAfter(bytes.size() - 1);
    const uint32_t id =
        mailbox.ImportExchangeFile(path, &index, &copy, &number, &notAnItem, c.take);
    EXPECT_FALSE(faults.Fired());
    EXPECT_EQ(notAnItem, !c.item);
    EXPECT_EQ(std::filesystem::exists(path), !(c.item && c.take));
    EXPECT_EQ(ReadFile(path), c.item && c.take ? "" : bytes) << "only read";
    std::filesystem::remove(path);
    if (!c.item) {
      EXPECT_EQ(id, kNoItem);
      continue;
    }
    EXPECT_EQ(std::tie(id, index, number),
              std::make_tuple(expectedId, expectedId - 1, c.content.number));
    const IndexEntry& entry = mailbox.Index().EntryAt(index);
    EXPECT_EQ(std::tie(entry.messageType, entry.messageFlagA, entry.messageFlagB, entry.attributes,
                       entry.sourceId, entry.writtenTime),
              std::make_tuple(c.content.kind, c.flagA, c.flagB, c.attributes, 55u, 1100000000u));
    EXPECT_EQ(entry.correspondent, CodedText(1252, WideString(u"Tutor T")));
    EXPECT_TRUE(entry.date >= before && entry.date <= platform::UtcSecondsNow()) << entry.date;
    EXPECT_EQ(ReadFile(mailbox.PathOf(entry)), bytes);
    EXPECT_EQ(std::filesystem::equivalent(mailbox.PathOf(entry), same), c.take);
    EXPECT_EQ(copy.outRoutes, std::vector<std::string>{"kept"});
    copy.outRoutes.clear();
    EXPECT_EQ(copy, entry);
    ++expectedId;
  }
  EXPECT_EQ(temporary.Files(), Names{});
}

// A shared directory's item, then mails: plain, with two items, with a file
// that is no item. Five items; each mail deleted once, after the save.
TEST_F(ReceivingTest, PopMailsAreFiledAndDeletedOnlyAfterTheSave) {
  const std::string plain = "From: a@b\r\nSubject: hello\r\n\r\n.just text\r\n";
  const std::string twoItems = MailWith(
      {Received(outside / "x.qv6", 0, {.number = 1}), Received(outside / "y.qv6", 0, {.number = 2})});
  const std::string notAnItem = MailWith({payload});
  // Before the first deletion: two saves, and syncs of four items and their directory.
  mailbox.SetDirty(true);
  ASSERT_TRUE(mailbox.SaveIndex());  // the first save of an open also opens the seal
  platform::FileFaults counting;
  mailbox.SetDirty(true);
  ASSERT_TRUE(mailbox.SaveIndex());
  const uint32_t syncsPerSave = counting.Count(platform::FileOperation::Sync);
  uint32_t savedAtFirstDelete = 0;
  uint32_t syncsAtFirstDelete = 0;
  PopMailDrop drop({plain, twoItems, notAnItem}, [&](const std::string& command) {
    if (command.rfind("DELE", 0) == 0 && savedAtFirstDelete == 0) {
      savedAtFirstDelete = SavedCount();
      syncsAtFirstDelete = counting.Count(platform::FileOperation::Sync);
    }
  });
  Received(shared / "first.qv6", 0);
  AddFileInProtocol(&context, shared.path());
  AddPopInProtocol(&context, "127.0.0.1", drop.port(), "user", "secret");
  ASSERT_TRUE(ReceiveMails(&context));
  EXPECT_EQ(savedAtFirstDelete, 5u);
  EXPECT_GE(syncsAtFirstDelete, 3 * syncsPerSave + 5);
  EXPECT_EQ(drop.Messages(), Names{});
  Names deletions;
  for (const std::string& command : drop.Commands()) {
    if (command.rfind("DELE", 0) == 0 || command == "QUIT") deletions.push_back(command);
  }
  EXPECT_EQ(deletions, (Names{"DELE 1", "DELE 2", "DELE 3", "QUIT"}));
  ASSERT_EQ(mailbox.Index().Count(), 5u);
  const uint32_t expectedTypes[] = {20, 255, 20, 20, 255};
  for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(mailbox.Index().EntryAt(i).messageType, expectedTypes[i]);
  // A plain mail is an item of its own kind with nothing else set.
  const IndexEntry& plainEntry = mailbox.Index().EntryAt(1);
  EXPECT_EQ(std::tie(plainEntry.date, plainEntry.attributes, plainEntry.depth),
            std::make_tuple(0u, 0, 0));
  exchange::ExchangeFile item;
  ASSERT_TRUE(item.Open(mailbox.PathOf(plainEntry), true, false));
  EXPECT_EQ(item.Kind(), exchange::kKindPlainTextMessage);
  exchange::PlainTextMessage message;
  EXPECT_TRUE(message.Read(item));
  item.Close();
  EXPECT_EQ(message.plainText, plain);
  EXPECT_EQ(temporary.Files(), Names{});
}

// A taken file rewritten since its copy was made stays: here it shares its
// bytes with the log file the next, refused, file writes to.
TEST_F(ReceivingTest, ASharedFileRewrittenSinceItWasTakenStays) {
  Received(shared / "a.qv6", 0);
  WriteFile(shared / "b.qvs", "not an item");  // after every "*.qv6"
  const std::string logName = DailyLogFileName("left", platform::LocalNow());
  {
    HostLogTable log(outside.path(), "left", 1);
    std::filesystem::create_hard_link(shared / "a.qv6", outside / logName);
    AddFileInProtocol(&context, shared.path());
    EXPECT_TRUE(ReceiveMails(&context));
  }
  if (DailyLogFileName("left", platform::LocalNow()) != logName) {
    GTEST_SKIP() << "the day changed during the receive: its log went to another file";
  }
  EXPECT_EQ(mailbox.Index().Count(), 1u);
  EXPECT_EQ(FilesIn(shared.path()), (Names{"a.qv6", "b.qvs"}));
}

// A FIFO, a link to an item elsewhere, a packed 4 GiB bomb and 10 000 items:
// the 10 000 are filed, without waiting on the FIFO, touching the link's
// target or writing much more than the items; the other three stay.
TEST_F(ReceivingTest, ACraftedSharedDirectoryIsReceivedCorrectlyAndBounded) {
  constexpr uint32_t kItems = 10000;
  const std::string item = Received(outside / "item.qv6", 0);
  const std::string target = ReadFile(Received(outside / "target.qv6", 0));
  ASSERT_EQ(std::system(("mkfifo '" + shared / "fifo.qv6" + "'").c_str()), 0);
  std::filesystem::create_symlink(outside / "target.qv6", shared / "link.qv6");
  std::filesystem::copy_file(std::string(QUORVEL_TEST_DATA) + "/inbound/bomb.qv6", shared / "bomb.qv6");
  for (uint32_t i = 0; i < kItems; ++i) {
    std::filesystem::copy_file(item, shared / ("n" + std::to_string(i) + ".qv6"));
  }
  AddFileInProtocol(&context, shared.path());
  LoggedSites logged;
  {
    platform::FileFaults faults;
    faults.FillDiskAfter(uint64_t{256} << 20);
    ASSERT_TRUE(ReceiveMails(&context));
    EXPECT_FALSE(faults.Fired()) << "the receive wrote more than 256 MiB";
  }
  EXPECT_EQ(mailbox.Index().Count(), kItems);
  EXPECT_EQ(SavedCount(), kItems);
  EXPECT_EQ(FilesIn(shared.path()), (Names{"bomb.qv6", "fifo.qv6", "link.qv6"}));
  EXPECT_EQ(logged.Take(), (std::vector<uint32_t>{540, 540, 540})) << "each file left is logged";
  EXPECT_EQ(ReadFile(outside / "target.qv6"), target);
  EXPECT_EQ(temporary.Files(), Names{});
}

// A stop request ends a trickled message long before the time-out: nothing
// filed, deleted or fetched further. (The lock: through the exports.)
TEST_F(ReceivingTest, AStopRequestEndsATrickledMessage) {
  constexpr int kMostBytes = 3000;
  int trickled = 0;
  ScriptedServer server([&](ServerSide& side) {
    side.Send("+OK ready\r\n");
    for (const char* reply : {"+OK\r\n", "+OK\r\n", "+OK 2 40\r\n", "+OK 1 40\r\n"}) {
      side.ReadLine();
      side.Send(reply);
    }
    side.ReadLine();  // RETR 1
    side.Send("+OK\r\nSubject: s\r\n\r\n");
    trickled = Trickle(side, kMostBytes, std::chrono::milliseconds(2), [&](int sent) {
      if (sent == 10) context.stopRequested = 1;
    });
    while (side.ReadLine() && side.Send("+OK\r\n")) {
    }
  });
  AddPopInProtocol(&context, "127.0.0.1", server.port(), "user", "secret");
  ASSERT_TRUE(ReceiveMails(&context));
  const std::string& transcript = server.transcript();
  EXPECT_LT(trickled, kMostBytes);
  EXPECT_EQ(transcript.find("DELE"), std::string::npos) << transcript;
  EXPECT_EQ(transcript.find("LIST 2"), std::string::npos) << transcript;
  EXPECT_EQ(mailbox.Index().Count(), 0u);
  EXPECT_EQ(context.stopRequested.load(), 1) << "left for the worker's queue to see";
  EXPECT_EQ(temporary.Files(), Names{});
  // While the request stands, no message is even asked for.
  PopMailDrop drop({"Subject: plain\r\n\r\ntext\r\n"});
  context.popInProtocols.clear();
  AddPopInProtocol(&context, "127.0.0.1", drop.port(), "user", "secret");
  ASSERT_TRUE(ReceiveMails(&context));
  for (const std::string& command : drop.Commands()) EXPECT_NE(command.rfind("RETR", 0), 0u);
  EXPECT_EQ(drop.Messages().size(), 1u);
}

}  // namespace
}  // namespace quorvel::testing
