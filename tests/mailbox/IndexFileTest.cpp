// The seal beside "Mailbox.inv", and a directory without room for the journal.
#include <gtest/gtest.h>

#include <filesystem>

#include "../exchange/RecordBytes.h"
#include "ByteCases.h"
#include "FaultSweep.h"
#include "MailboxFixture.h"
#include "exchange/Crc32.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

// Two threads: 3 with its reply 7, then 5; two items wait in the outbox.
std::string TwoThreads() { return ParseBytes(ReadCaseFile(std::string(QUORVEL_TEST_DATA) + "/index/two-threads.bytes")); }

using IndexFileTest = MailboxTest;

// Where no journal can be made beside the index, the mailbox opens read-only,
// and files and saves nothing; nor does a closed one.
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
  LoggedSites logged;
  EXPECT_FALSE(mailbox.SaveIndex());
  EXPECT_TRUE(logged.Take().empty()) << "no save is tried, so no failure logged";
  EXPECT_TRUE(mailbox.CloseIndex(true));
  EXPECT_EQ(mailbox.FileNewMail(NewItem(), {"3|x"}, CodedTextArray()), kNoItem) << "closed";
  EXPECT_EQ(ReadFile(IndexPath()), TwoThreads());
  EXPECT_FALSE(std::filesystem::exists(directory / "Mailbox.inv.new"));
  EXPECT_FALSE(std::filesystem::exists(directory / "Mailbox.inv.sum"));
}

// While a mailbox is written its seal is open (a kill may leave the index at
// any save); the close seals the index. The seal: "INVS", the index's length
// and CRC-32 (0xFFFFFFFF both when open), no names, a CRC-32.
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

}  // namespace
}  // namespace quorvel::testing
