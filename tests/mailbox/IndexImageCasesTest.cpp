// "Mailbox.inv" images as data (tests/data/index): NAME.bytes written by hand
// from the format's description, NAME.expected its fields, or "damage". A
// readable image encodes back to its bytes (or NAME.saved.bytes), also through
// a mailbox's open and close but for the save time; a damaged one is kept
// aside, the open starting empty. A new mailbox closed leaves "fresh". Then
// the seal beside the index, and a directory without room for the journal.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "../exchange/RecordBytes.h"
#include "ByteCases.h"
#include "FaultSweep.h"
#include "MailboxFixture.h"
#include "exchange/Crc32.h"
#include "mailbox/IndexFormat.h"
#include "platform/Clock.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

std::string Coded(const CodedText& coded) {
  return std::to_string(coded.codePage) + " \"" + Utf8(coded.text.View()) + "\"";
}

std::string Listing(const IndexHead& head, const MailboxIndex& index) {
  std::ostringstream out;
  out << "next " << head.nextId << ", saved " << head.lastSaveTime << ", sorted "
      << unsigned(head.sorted);
  if (index.Count() != 0) out << ", grow-by " << index.Ids().GrowBy();
  out << "\n";
  for (uint32_t i = 0; i < index.Count(); ++i) {
    const IndexEntry& e = index.EntryAt(i);
    out << "entry id " << index.IdAt(i) << ": \"" << e.fileName << "\" from " << Coded(e.correspondent)
        << ", written " << e.writtenTime << ", date " << e.date << ", source " << e.sourceId
        << ", depth " << unsigned(e.depth) << ", attributes " << e.attributes << ", flags "
        << unsigned(e.messageFlagA) << " " << unsigned(e.messageFlagB) << ", type " << e.messageType
        << "\n";
    for (uint32_t n = 0; n < e.nameList.Size(); ++n) out << "  name " << Coded(e.nameList[n]) << "\n";
    for (const std::string& route : e.outRoutes) out << "  route \"" << route << "\"\n";
  }
  out << "queue";
  for (const uint32_t id : index.outboxQueue) out << " " << id;
  return out.str() + "\n";
}

// The bytes of `directory`'s index with the save time (offset 12), which must
// lie between `before` and now, replaced by `savedAs`.
std::string SavedWithTime(const std::string& directory, uint32_t before, uint32_t savedAs) {
  std::string bytes = ReadFile(directory + "Mailbox.inv");
  if (bytes.size() < 16) return bytes;
  MailboxIndex index;
  const uint32_t saved = DecodeIndexImage(bytes, index).lastSaveTime;
  EXPECT_TRUE(saved >= before && saved <= platform::UtcSecondsNow()) << saved;
  return bytes.replace(12, 4, U32(savedAs));
}

using IndexImageCases = MailboxTest;

TEST_F(IndexImageCases, EachImageReadsAsDescribedAndEncodesBackToItsBytes) {
  for (const std::filesystem::path& name : ByteCases("index")) {
    SCOPED_TRACE(name.filename().string());
    const std::string image = ParseBytes(ReadCaseFile(name.string() + ".bytes"));
    const std::string expected = ReadCaseFile(name.string() + ".expected");
    MailboxIndex index;
    std::string got;
    try {
      const IndexHead head = DecodeIndexImage(image, index);
      got = Listing(head, index);
      const std::filesystem::path saved = name.string() + ".saved.bytes";
      const std::string again = std::filesystem::exists(saved) ? ParseBytes(ReadCaseFile(saved)) : image;
      EXPECT_EQ(Hex(EncodeIndexImage(head.nextId, head.lastSaveTime, index)), Hex(again));
      TempDirectory opened;
      WriteFile(opened / "Mailbox.inv", image);
      Mailbox mailbox;
      const uint32_t before = platform::UtcSecondsNow();
      ASSERT_TRUE(mailbox.OpenIndex(opened.path(), false, 1, 0));
      EXPECT_TRUE(mailbox.CloseIndex(true));
      EXPECT_EQ(Hex(SavedWithTime(opened.path(), before, head.lastSaveTime)), Hex(again));
    } catch (const exchange::ArchiveError&) {
      got = "damage\n";
      TempDirectory fresh;
      WriteFile(fresh / "Mailbox.inv", image);
      Mailbox damaged;
      ASSERT_TRUE(damaged.OpenIndex(fresh.path(), false, 1, 0));
      EXPECT_EQ(damaged.Index().Count(), 0u);
      EXPECT_TRUE(damaged.CloseIndex(false));
      EXPECT_EQ(ReadFile(fresh / "Mailbox-damaged-0.inv"), image);
      EXPECT_EQ(ReadFile(fresh / "Mailbox.inv").size(), 23u);
    }
    EXPECT_EQ(got, expected);
  }
  const uint32_t before = platform::UtcSecondsNow();
  ASSERT_TRUE(Open());
  EXPECT_TRUE(mailbox.CloseIndex(false));
  const std::string fresh = ParseBytes(ReadCaseFile(std::string(QUORVEL_TEST_DATA) + "/index/fresh.bytes"));
  EXPECT_EQ(Hex(SavedWithTime(directory.path(), before, 0)), Hex(fresh));
}

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
