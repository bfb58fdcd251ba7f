// The side file of the keys as its form describes it: a record counts when
// its id and its mark (the CRC-32 of the entry's file name and its date)
// match an entry of the index; the last record of an id is the one that
// counts, in whatever order the records come; an item no record counts for
// has its stamp read, and a record appended.
#include <gtest/gtest.h>

#include <filesystem>

#include "../exchange/RecordBytes.h"
#include "MailboxFixture.h"
#include "exchange/ExchangeFile.h"
#include "mailbox/ItemKeys.h"

namespace quorvel::testing {
namespace {

std::string Sealed(const std::string& bytes) { return bytes + U32(ReferenceCrc(bytes)); }

class ItemKeysRecordsTest : public OpenMailboxTest {
 protected:
  // A record of the item `id` whose key is this mailbox's key for `keyItem`,
  // marked with `entry`'s filing or (`sameFiling` false) another one.
  std::string Record(uint32_t id, const IndexEntry& entry, bool sameFiling, uint32_t keyItem) {
    const uint32_t mark = ReferenceCrc(entry.fileName + U32(entry.date)) + (sameFiling ? 0 : 1);
    return Sealed(U32(id) + U32(mark) + MailboxKey() + U32(keyItem));
  }
  std::string MailboxKey() {
    const auto key = mailbox.Keys().NewKey(0).mailbox;
    return std::string(reinterpret_cast<const char*>(key.data()), key.size());
  }
};

TEST_F(ItemKeysRecordsTest, TheLastRecordOfAnIdCountsWhenItsMarkMatches) {
  const uint32_t first = FileMail(), second = FileMail();
  const IndexEntry a = *mailbox.EntryOf(first), b = *mailbox.EntryOf(second);
  const std::string head = Sealed("QKEY" + MailboxKey());
  const std::string keysFile = directory / kKeysFileName;
  const std::string one = Record(first, a, true, first), two = Record(second, b, true, second);
  const std::string stale = Record(first, a, false, 99);
  struct Case {
    const char* name;
    std::string records;
    size_t appended;  // records of stamps read at the open
  };
  const Case cases[] = {
      {"in filing order", one + two, 0},
      {"out of order", two + one, 0},
      {"another filing of the id, then this one", stale + one + two, 0},
      {"this filing, then another of the id", one + two + stale, 1},
      {"no record of the second", one, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(mailbox.CloseIndex(false));
    WriteFile(keysFile, head + c.records);
    ASSERT_TRUE(Open());
    const size_t expected = head.size() + c.records.size() + 32 * c.appended;
    EXPECT_EQ(std::filesystem::file_size(keysFile), expected);
    EXPECT_EQ(mailbox.Keys().KeyOf(first), mailbox.Keys().NewKey(first));
    EXPECT_EQ(mailbox.Keys().KeyOf(second), mailbox.Keys().NewKey(second));
  }
  // An answer written first thing after an open names its parent by key.
  ASSERT_TRUE(mailbox.CloseIndex(false));
  ASSERT_TRUE(Open());
  const uint32_t answer = FileAnswer(second);
  exchange::ExchangeFile item;
  ASSERT_TRUE(item.Open(mailbox.PathOf(*mailbox.EntryOf(answer)), true, false));
  EXPECT_EQ(exchange::ReadStampKeys(item).parent, mailbox.Keys().NewKey(second));
  item.Close();
}

}  // namespace
}  // namespace quorvel::testing
