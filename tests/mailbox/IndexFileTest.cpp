// "Mailbox.inv" as a mailbox leaves it: a fresh one, the seal beside it, a
// directory without room for the journal, and a hand-written index saved back
// (the expected bytes are written from the format's description).
#include <gtest/gtest.h>

#include <filesystem>

#include "../exchange/RecordBytes.h"
#include "ByteCases.h"
#include "MailboxFixture.h"
#include "exchange/Crc32.h"
#include "platform/Clock.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

std::string Head(uint32_t nextId, uint32_t saveTime, uint32_t count, uint8_t sorted) {
  return "INV " + U32(5) + U32(nextId) + U32(saveTime) + U32(count) + Bytes({sorted});
}

// Two threads: 3 with its reply 7, then 5; two items wait in the outbox.
std::string TwoThreads() { return ParseBytes(ReadCaseFile(std::string(QUORVEL_TEST_DATA) + "/index/two-threads.bytes")); }

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
  WriteFile(IndexPath(), TwoThreads());
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
  EXPECT_EQ(ReadFile(IndexPath()), TwoThreads());
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

// Every field of the image is the data cases' (IndexImageCasesTest); here
// the mailbox opens it and saves it back unchanged but for the save time.
TEST_F(IndexFileTest, AHandWrittenIndexOpensAndSavesBackToTheSameBytes) {
  WriteFile(IndexPath(), TwoThreads());
  ASSERT_TRUE(Open());
  EXPECT_EQ(mailbox.Index().Count(), 3u);
  EXPECT_EQ(mailbox.NextId(), 9u);
  EXPECT_EQ(mailbox.LastSaveTime(), 0x11223344u);
  EXPECT_EQ(mailbox.FindItem(5), 2u);
  EXPECT_EQ(mailbox.FindItem(4), std::nullopt);
  const uint32_t before = platform::UtcSecondsNow();
  EXPECT_TRUE(mailbox.CloseIndex(true));
  EXPECT_EQ(Hex(WithSaveTime(ReadFile(IndexPath()), before, 0x11223344)), Hex(TwoThreads()));
}

}  // namespace
}  // namespace quorvel::testing
