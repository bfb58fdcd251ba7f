// "Mailbox.inv" byte for byte: the expected bytes are written out here from
// the format's description.
#include <gtest/gtest.h>

#include <filesystem>

#include "../exchange/RecordBytes.h"
#include "MailboxFixture.h"
#include "exchange/Crc32.h"
#include "platform/Clock.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

std::string Head(uint32_t nextId, uint32_t saveTime, uint32_t count, uint8_t sorted) {
  return "INV " + U32(5) + U32(nextId) + U32(saveTime) + U32(count) + Bytes({sorted});
}

std::string ArchiveString(const std::string& text) {
  if (text.size() < 255) return Bytes({static_cast<int>(text.size())}) + text;
  return Bytes({0xFF}) + U16(static_cast<uint16_t>(text.size())) + text;
}

std::string Coded(uint16_t codePage, std::u16string_view text) {
  return U16(codePage) + U32(static_cast<uint32_t>(text.size())) + Utf16(text);
}

struct HandEntry {
  std::string fileName;
  std::string correspondent;  // coded form
  uint32_t writtenTime, date, sourceId;
  uint8_t depth;
  uint16_t attributes;
  std::string names;  // count and coded names
  uint8_t flagA, flagB;
  uint32_t type;
  std::vector<std::string> routes;
};

std::string EntryBytes(const HandEntry& e) {
  std::string bytes = ArchiveString(e.fileName) + e.correspondent + U32(e.writtenTime) +
                      U32(e.date) + U32(e.sourceId) + Bytes({e.depth}) + U16(e.attributes) +
                      e.names + Bytes({e.flagA, e.flagB}) + U32(e.type) +
                      U16(static_cast<uint16_t>(e.routes.size()));
  for (const std::string& route : e.routes) bytes += ArchiveString(route);
  return bytes;
}

// Two threads: 3 with its reply 7, then 5; two items wait in the outbox.
const std::string kLongRoute = "file|" + std::string(300, 'd');
std::string TwoThreads(uint32_t saveTime) {
  const std::vector<HandEntry> entries = {
      {"~AT0.qv6", Coded(1252, u"Tutor T"), 0, 1700000000, 3, 0, 0x000A,
       U32(2) + Coded(1252, u"Anna") + Coded(1250, u"\u0158eh\u00E1k"), 1, 2, 20,
       {"smtp|tutor@example.org|pupil@example.org", kLongRoute}},
      {"~AT2.qv6", Coded(1252, u""), 1700000100, 1700000200, 3, 1, 0x2001, U32(0), 0, 0, 21, {}},
      {"reply.qv6", Coded(1252, u"T\u00FCtor"), 0, 1700000300, 5, 0, 0x0002, U32(0), 0, 0, 255,
       {"smtp|x@y"}},
  };
  // The ids' array grows by 0x10000, the largest step a reader accepts.
  std::string bytes =
      Head(9, saveTime, 3, 0) + U32(4) + U32(3) + U32(0x10000) + U32(3) + U32(7) + U32(5);
  for (const HandEntry& entry : entries) bytes += EntryBytes(entry);
  return bytes + U16(2) + U32(3) + U32(7);
}

// The save time (offset 12) lies between `before` and now; answers the bytes
// with it replaced by `savedAs`.
std::string WithSaveTime(std::string bytes, uint32_t before, uint32_t savedAs) {
  if (bytes.size() < 16) return bytes;
  const std::string time = bytes.substr(12, 4);
  const uint32_t saved = static_cast<uint8_t>(time[0]) | static_cast<uint8_t>(time[1]) << 8 |
                         static_cast<uint8_t>(time[2]) << 16 |
                         static_cast<uint32_t>(static_cast<uint8_t>(time[3])) << 24;
  EXPECT_GE(saved, before);
  EXPECT_LE(saved, platform::UtcSecondsNow());
  return bytes.replace(12, 4, U32(savedAs));
}

using IndexFileTest = MailboxTest;

TEST_F(IndexFileTest, AFreshMailboxClosedAtOnceLeavesTheTwentyThreeByteIndex) {
  const uint32_t before = platform::UtcSecondsNow();
  ASSERT_TRUE(Open());
  EXPECT_TRUE(mailbox.CloseIndex(false));
  const std::string expected = Head(1, 0, 0, 1) + U16(0);
  ASSERT_EQ(expected.size(), 23u);
  EXPECT_EQ(Hex(WithSaveTime(ReadFile(IndexPath()), before, 0)), Hex(expected));
}

// Where no file can be made beside the index (the journal's open is made to
// fail), the mailbox opens read-only and saves nothing.
TEST_F(IndexFileTest, WhereNoJournalCanBeMadeTheMailboxOpensReadOnly) {
  WriteFile(IndexPath(), TwoThreads(0x11223344));
  {
    platform::FileFaults faults;
    faults.Fail(platform::FileOperation::Open, 2);  // the index, then the journal
    ASSERT_TRUE(Open());
    EXPECT_TRUE(faults.Fired());
  }
  EXPECT_TRUE(mailbox.IsReadOnly());
  EXPECT_NE(mailbox.Index().Count(), 0u);
  EXPECT_EQ(mailbox.FileNewMail(NewItem(), {"3|x"}, CodedTextArray()), kNoItem);
  EXPECT_FALSE(mailbox.SaveIndex());
  EXPECT_TRUE(mailbox.CloseIndex(true));
  EXPECT_EQ(ReadFile(IndexPath()), TwoThreads(0x11223344));
  EXPECT_FALSE(std::filesystem::exists(directory / "Mailbox.inv.new"));
  EXPECT_FALSE(std::filesystem::exists(directory / "Mailbox.inv.sum"));
}

// While a mailbox is written the seal on disk is open (it vouches for any
// index: a kill may leave the index at any save, with the journal starting
// anew), and closing seals the index again. The seal's bytes: "INVS", the
// index's length and CRC-32 (0xFFFFFFFF both when open), no names, a CRC-32.
TEST_F(IndexFileTest, TheSealIsOpenFromTheFirstSaveUntilTheClose) {
  const std::string sealPath = directory / "Mailbox.inv.sum";
  ASSERT_TRUE(Open());
  mailbox.SetDirty(true);
  ASSERT_TRUE(mailbox.SaveIndex());
  const std::string open = ReadFile(sealPath);
  ASSERT_EQ(open.size(), 20u);
  EXPECT_EQ(open.substr(0, 16), "INVS" + U32(0xFFFFFFFF) + U32(0xFFFFFFFF) + U32(0));
  EXPECT_TRUE(mailbox.CloseIndex(false));
  const std::string index = ReadFile(IndexPath());
  const std::string sealed = ReadFile(sealPath);
  ASSERT_EQ(sealed.size(), 20u);
  EXPECT_EQ(sealed.substr(0, 16), "INVS" + U32(static_cast<uint32_t>(index.size())) +
                                      U32(exchange::Crc32::Of(index.data(), index.size())) + U32(0));
}

TEST_F(IndexFileTest, AHandWrittenIndexReadsAndSavesBackToTheSameBytes) {
  WriteFile(IndexPath(), TwoThreads(0x11223344));
  ASSERT_TRUE(Open());
  const MailboxIndex& index = mailbox.Index();
  ASSERT_EQ(index.Count(), 3u);
  EXPECT_EQ(mailbox.NextId(), 9u);
  EXPECT_EQ(mailbox.LastSaveTime(), 0x11223344u);
  EXPECT_FALSE(index.IsSorted());
  EXPECT_EQ(index.outboxQueue, (std::vector<uint32_t>{3, 7}));
  EXPECT_EQ(mailbox.FindItem(5), 2u);
  EXPECT_EQ(mailbox.FindItem(4), std::nullopt);
  const IndexEntry& first = index.EntryAt(0);
  EXPECT_EQ(first.fileName, "~AT0.qv6");
  EXPECT_EQ(first.correspondent, CodedText(1252, WideString(u"Tutor T")));
  ASSERT_EQ(first.nameList.Size(), 2u);
  EXPECT_EQ(first.nameList[1], CodedText(1250, WideString(u"\u0158eh\u00E1k")));
  EXPECT_EQ(first.outRoutes, (std::vector<std::string>{"smtp|tutor@example.org|pupil@example.org", kLongRoute}));
  EXPECT_EQ(first.attributes, 0x000A);
  EXPECT_EQ(first.messageFlagB, 2);
  const IndexEntry& reply = index.EntryAt(1);
  EXPECT_EQ(reply.depth, 1);
  EXPECT_EQ(reply.writtenTime, 1700000100u);
  EXPECT_EQ(reply.messageType, 21u);

  const uint32_t before = platform::UtcSecondsNow();
  EXPECT_TRUE(mailbox.CloseIndex(true));
  EXPECT_EQ(Hex(WithSaveTime(ReadFile(IndexPath()), before, 0x11223344)), Hex(TwoThreads(0x11223344)));
}

TEST_F(IndexFileTest, AnIndexThatDoesNotReadIsKeptAsideAndRebuilt) {
  const std::string valid = TwoThreads(1);
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"version 4", "INV " + U32(4) + valid.substr(8)},
      {"another magic", "VNI " + valid.substr(4)},
      {"cut inside an entry", valid.substr(0, 80)},
      {"id array longer than the entries", Head(9, 1, 1, 0) + valid.substr(21)},
      {"id array count unlike the entry count", valid.substr(0, 25) + U32(2) + valid.substr(29)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDirectory fresh;
    WriteFile(fresh / "Mailbox.inv", c.bytes);
    Mailbox damaged;
    ASSERT_TRUE(damaged.OpenIndex(fresh.path(), false, 1, 0));
    EXPECT_EQ(damaged.Index().Count(), 0u);  // no item files to rebuild from
    EXPECT_TRUE(damaged.CloseIndex(false));
    EXPECT_EQ(ReadFile(fresh / "Mailbox-damaged-0.inv"), c.bytes);
    EXPECT_EQ(ReadFile(fresh / "Mailbox.inv").size(), 23u);
  }
}

}  // namespace
}  // namespace quorvel::testing
