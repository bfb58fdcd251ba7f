// The index on disk: images as data (tests/data/index: NAME.bytes written by
// hand from the format's description, NAME.expected its fields or "damage"),
// change records and the journal, patches in place, the seal, read-only opens.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>

#include "../exchange/RecordBytes.h"
#include "ByteCases.h"
#include "FaultSweep.h"
#include "IndexSteps.h"
#include "MailboxFixture.h"
#include "exchange/Crc32.h"
#include "mailbox/IndexChanges.h"
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
    out << "entry id " << index.IdAt(i) << ": \"" << e.fileName << "\" from "
        << Coded(e.correspondent)
        << ", written " << e.writtenTime << ", date " << e.date << ", source " << e.sourceId
        << ", depth " << unsigned(e.depth) << ", attributes " << e.attributes << ", flags "
        << unsigned(e.messageFlagA) << " " << unsigned(e.messageFlagB) << ", type " << e.messageType
        << "\n";
    for (uint32_t n = 0; n < e.nameList.Size(); ++n) {
      out << "  name " << Coded(e.nameList[n]) << "\n";
    }
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

using IndexFilesTest = MailboxTest;

// A readable image encodes back to its bytes (or NAME.saved.bytes), also
// through an open and close but for the save time; a damaged one is kept
// aside, the open starting empty. A new mailbox closed leaves "fresh".
TEST_F(IndexFilesTest, EachImageReadsAsDescribedAndEncodesBackToItsBytes) {
  for (const std::filesystem::path& name : ByteCases("index")) {
    SCOPED_TRACE(name.filename().string());
    const std::string image = ParseBytes(ReadCaseFile(name.string() + ".bytes"));
    MailboxIndex index;
    std::string got = "damage\n";
    TempDirectory opened;
    WriteFile(opened / "Mailbox.inv", image);
    Mailbox mailbox;
    const uint32_t before = platform::UtcSecondsNow();
    try {
      const IndexHead head = DecodeIndexImage(image, index);
      got = Listing(head, index);
      const std::filesystem::path saved = name.string() + ".saved.bytes";
      const std::string again =
          std::filesystem::exists(saved) ? ParseBytes(ReadCaseFile(saved)) : image;
      EXPECT_EQ(Hex(EncodeIndexImage(head.nextId, head.lastSaveTime, index)), Hex(again));
      ASSERT_TRUE(mailbox.OpenIndex(opened.path(), false, 1, 0));
      EXPECT_TRUE(mailbox.CloseIndex(true));
      EXPECT_EQ(Hex(SavedWithTime(opened.path(), before, head.lastSaveTime)), Hex(again));
    } catch (const exchange::ArchiveError&) {
      ASSERT_TRUE(mailbox.OpenIndex(opened.path(), false, 1, 0));
      EXPECT_EQ(mailbox.Index().Count(), 0u);
      EXPECT_TRUE(mailbox.CloseIndex(false));
      EXPECT_EQ(ReadFile(opened / "Mailbox-damaged-0.inv"), image);
      EXPECT_EQ(ReadFile(opened / "Mailbox.inv").size(), 23u);
    }
    EXPECT_EQ(got, ReadCaseFile(name.string() + ".expected"));
  }
  const uint32_t before = platform::UtcSecondsNow();
  ASSERT_TRUE(Open());
  EXPECT_TRUE(mailbox.CloseIndex(false));
  const std::string fresh =
      ParseBytes(ReadCaseFile(std::string(QUORVEL_TEST_DATA) + "/index/fresh.bytes"));
  EXPECT_EQ(Hex(SavedWithTime(directory.path(), before, 0)), Hex(fresh));
}

TEST(IndexChangesTest, ARecordTurnsTheEarlierImageIntoTheLaterOne) {
  const size_t any = std::string::npos;
  const auto fill = [](MailboxIndex& index) { FillVariant(index, 1); };
  const struct {
    const char* what;
    bool fromEmpty;
    std::function<void(MailboxIndex&)> change;
    size_t mostRecordBytes;
  } cases[] = {
      {"nothing but the save time", false, [](MailboxIndex&) {}, 40},
      {"one step: a reply filed, an entry marked, the outbox moved", false, TakeStep, 400},
      {"five steps: an entry removed too", false,
       [](MailboxIndex& index) { for (int i = 0; i < 5; ++i) TakeStep(index); }, any},
      {"a thread appended", false,
       [](MailboxIndex& index) { index.Insert(index.Count(), 9999, std::make_unique<IndexEntry>()); }, 150},
      {"the first item removed", false, [](MailboxIndex& index) { index.RemoveAt(0); }, 150},
      // The old last entry is then a byte suffix of the new one: equal tail
      // bytes that part into entries elsewhere.
      {"the last file name grown in front by a byte equal to its length", false,
       [](MailboxIndex& index) {
         std::string& name = index.EntryAt(index.Count() - 1).fileName;
         name.insert(name.begin(), static_cast<char>(name.size()));
       },
       150},
      // Ids that differ only in their low byte must still tell the filing.
      {"a reply filed among ids alike but for their low byte, both ends changed", false,
       [](MailboxIndex& index) {
         index.EntryAt(0).date = 1;
         index.EntryAt(index.Count() - 1).date = 1;
         index.Insert(2900, 3001, std::make_unique<IndexEntry>());
       },
       400},
      {"an entry copied beside itself, id and all", false,
       [](MailboxIndex& index) {
         index.Insert(1, index.IdAt(0), std::make_unique<IndexEntry>(std::as_const(index).EntryAt(0)));
       },
       150},
      {"the outbox emptied", false, [](MailboxIndex& index) { index.outboxQueue.clear(); }, 100},
      {"every item removed", false, [](MailboxIndex& index) { index.Reset(); }, 100},
      {"another index altogether", false, fill, any},
      {"an empty index filled", true, fill, any},
      {"an empty index saved again", true, [](MailboxIndex&) {}, 40},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MailboxIndex index;
    if (!c.fromEmpty) FillVariant(index, 0);
    const IndexImage before = EncodeIndexParts(9000, 1, index);
    index.MarkSaved();
    c.change(index);
    const IndexImage after = EncodeIndexParts(9000, 2, index);
    const std::string record = EncodeChangeRecord(SplicesBetween(before, after), after.bytes.size());
    EXPECT_LE(record.size(), c.mostRecordBytes);
    EXPECT_EQ(ApplyChangeRecord(before.bytes, record), after.bytes);
  }
}

TEST(IndexChangesTest, TheRecordOfAnotherNextIdByHand) {
  const MailboxIndex empty;
  const std::string record = EncodeChangeRecord(
      SplicesBetween(EncodeIndexParts(1, 0, empty), EncodeIndexParts(2, 0, empty)), 23);
  // The later length, one splice: at offset 8, one byte out, one byte in.
  EXPECT_EQ(record, U32(23) + U32(1) + U32(8) + U32(1) + U32(1) + "\x02");
}

// Each record of tests/data/change-records applied to thirty "a": the image
// it makes, or "refused" where it does not fit them.
TEST(IndexChangesTest, ARecordThatDoesNotFitTheImageDoesNotApply) {
  for (const std::filesystem::path& name : ByteCases("change-records")) {
    SCOPED_TRACE(name.filename().string());
    const std::string record = ParseBytes(ReadCaseFile(name.string() + ".bytes"));
    const auto image = ApplyChangeRecord(std::string(30, 'a'), record);
    EXPECT_EQ(image.value_or("refused") + "\n", ReadCaseFile(name.string() + ".expected"));
  }
}

// Each side file of tests/data/journals: the image it leads to, or "none"; the
// journal of two records is written as its case file describes it.
TEST(IndexJournalTest, ASideFileLeadsToTheImageOfItsLastWholeRecord) {
  uint32_t link = 0;
  std::string journal = JournalHead("the base image", link) + "the base image";
  journal += JournalEntry(U32(14) + U32(1) + U32(4) + U32(4) + U32(4) + "BASE", link);
  journal += JournalEntry(U32(9) + U32(1) + U32(8) + U32(6) + U32(1) + "!", link);
  const std::string folder = std::string(QUORVEL_TEST_DATA) + "/journals/";
  EXPECT_EQ(Hex(journal), Hex(ParseBytes(ReadCaseFile(folder + "two-records.bytes"))));
  for (const std::filesystem::path& name : ByteCases("journals")) {
    SCOPED_TRACE(name.filename().string());
    const auto image = ImageInSideFile(ParseBytes(ReadCaseFile(name.string() + ".bytes")));
    EXPECT_EQ(image.value_or("none") + "\n", ReadCaseFile(name.string() + ".expected"));
  }
}

// Random filings, removals, writes (also through entries handed out) and
// outbox changes, saved in between, closed once: the files hold exactly the
// index encoded whole; a save of one filing appends a record of its size.
TEST_F(IndexFilesTest, APatchedImageEqualsTheImageEncodedWhole) {
  std::mt19937 random(17);
  ASSERT_TRUE(Open());
  uint32_t nextId = 1;
  const auto file = [&](uint32_t position) {
    auto entry = std::make_unique<IndexEntry>();
    entry->fileName = "~AT" + std::to_string(nextId) + ".qv6";
    entry->outRoutes = {"smtp|a@b|" + std::to_string(random() % 1000)};
    mailbox.Index().Insert(position, nextId, std::move(entry));
    mailbox.Index().outboxQueue.push_back(nextId++);
  };
  for (uint32_t i = 0; i < 400; ++i) file(i);
  ASSERT_TRUE(mailbox.SaveIndex());  // whole: the image was read
  ASSERT_TRUE(mailbox.SaveIndex());
  const auto side = [&] { return ReadFile(directory / "Mailbox.inv.new").size(); };
  const size_t before = side();
  file(123);
  ASSERT_TRUE(mailbox.SaveIndex());
  EXPECT_LT(side() - before, 200u);

  std::set<const IndexEntry*> handed;
  for (int save = 0; save < 300; ++save) {
    SCOPED_TRACE("save " + std::to_string(save));
    MailboxIndex& index = mailbox.Index();
    const int changes = save % 10 == 9 ? 50 : 1 + static_cast<int>(random() % 3);
    for (int k = 0; k < changes; ++k) {
      const uint32_t at = random() % index.Count(), pick = random() % 7;
      if (pick < 2) {
        file(random() % (index.Count() + 1));
      } else if (pick == 2 && handed.count(&std::as_const(index).EntryAt(at)) == 0) {
        index.RemoveAt(at);
      } else if (pick == 3) {
        index.EntryAt(at).date = random();
      } else if (pick == 4) {
        (void)index.EntryAt(at);  // reached for writing, left alone
      } else if (pick == 5 && (handed.empty() || random() % 2 == 0)) {
        handed.insert(&index.HandOut(at));
      } else if (pick == 5) {
        auto* entry = const_cast<IndexEntry*>(*std::next(handed.begin(), random() % handed.size()));
        entry->attributes ^= 0x0100;
      } else if (pick == 6 && !index.outboxQueue.empty()) {
        index.outboxQueue.erase(index.outboxQueue.begin() + random() % index.outboxQueue.size());
      }
    }
    ASSERT_TRUE(mailbox.SaveIndex());
    const std::string expected = EncodeIndexImage(mailbox.NextId(), mailbox.LastSaveTime(), index);
    if (save % 5 == 0) {
      ASSERT_EQ(mailbox.SavedIndexBytes(), expected);
    }
    if (save == 150) {
      ASSERT_TRUE(mailbox.CloseIndex(false));
      ASSERT_EQ(ReadFile(IndexPath()),
                EncodeIndexImage(mailbox.NextId(), mailbox.LastSaveTime(), index));
      ASSERT_TRUE(Open());
      handed.clear();
    }
  }
}

}  // namespace
}  // namespace quorvel::testing
