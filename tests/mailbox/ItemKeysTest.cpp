// Items by their keys: a received item is filed under the item its key names,
// and is not filed again; the side file of the keys as its form describes it.
#include <gtest/gtest.h>

#include <functional>

#include "../exchange/RecordBytes.h"
#include "MailboxFixture.h"
#include "mailbox/ItemKeys.h"
#include "mailbox/ItemRemoval.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using exchange::ItemKey;
using exchange::StampKeys;

std::string Sealed(const std::string& bytes) { return bytes + U32(ReferenceCrc(bytes)); }

class ItemKeysTest : public OpenMailboxTest {
 protected:
  std::string Sent(uint32_t senderId, uint32_t parentId, const StampKeys& keys) {
    const std::string path = outside / ("sent" + std::to_string(senderId) + ".qv6");
    WriteSentItem(path, {}, payload, senderId, parentId);
    return keys.own || keys.parent ? WithKeys(path, keys) : path;
  }
  StampKeys KeysOf(uint32_t id) {
    exchange::ExchangeFile item;
    EXPECT_TRUE(item.Open(mailbox.PathOf(*mailbox.EntryOf(id)), true, false));
    const StampKeys keys = exchange::ReadStampKeys(item);
    item.Close();
    return keys;
  }
  std::string MailboxKey() {
    const auto key = mailbox.Keys().NewKey(0).mailbox;
    return std::string(reinterpret_cast<const char*>(key.data()), key.size());
  }
  // A record of item `id` keyed as this mailbox's `keyItem`, marked (the
  // CRC-32 of its file name and date) with `entry`'s filing or another one.
  std::string Record(uint32_t id, const IndexEntry& entry, bool sameFiling, uint32_t keyItem) {
    const uint32_t mark = ReferenceCrc(entry.fileName + U32(entry.date)) + (sameFiling ? 0 : 1);
    return Sealed(U32(id) + U32(mark) + MailboxKey() + U32(keyItem));
  }
};

TEST_F(ItemKeysTest, AReceivedItemIsFiledUnderTheItemItsKeyNames) {
  const uint32_t first = FileMail(), second = FileMail(), answer = FileAnswer(second);
  // What this mailbox files names itself and what it answers by key.
  EXPECT_EQ(KeysOf(answer).own, mailbox.Keys().NewKey(answer));
  EXPECT_EQ(KeysOf(answer).parent, mailbox.Keys().NewKey(second));
  EXPECT_EQ(KeysOf(first).parent, std::nullopt);
  const struct {
    const char* name;
    uint32_t parentId;
    std::optional<ItemKey> parentKey;
    const char* tree;  // after filing it (id 4, 5, ...)
  } cases[] = {
      {"by its key, whatever its id", 1, mailbox.Keys().NewKey(second), "1:0 2:0 3:1 4:1"},
      {"without keys, by its id", 1, std::nullopt, "1:0 5:1 2:0 3:1 4:1"},
      {"a key not here: a new thread", 1, SenderKey(99), "1:0 5:1 2:0 3:1 4:1 6:0"},
      {"under a received item by its key", 999, SenderKey(70), "1:0 5:1 2:0 3:1 4:1 7:2 6:0"},
  };
  uint32_t senderId = 70;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const StampKeys keys{c.parentKey ? std::optional(SenderKey(senderId)) : std::nullopt,
                         c.parentKey};
    EXPECT_NE(mailbox.ImportExchangeFile(Sent(senderId++, c.parentId, keys)), kNoItem);
    EXPECT_EQ(Tree(), c.tree);
    EXPECT_EQ(mailbox.EntryOf(mailbox.NextId() - 1)->sourceId, c.parentId);  // as ever
  }
}

// Also when the side file of the keys is gone or damaged.
TEST_F(ItemKeysTest, AnItemReceivedTwiceIsFiledOnce) {
  const std::string received = Sent(70, 0, {SenderKey(70), std::nullopt});
  const uint32_t theirs = mailbox.ImportExchangeFile(received);
  const uint32_t mine = FileMail();
  const std::string back = outside / "back.qv6";  // an item of ours comes back
  fs::copy_file(mailbox.PathOf(*mailbox.EntryOf(mine)), back);
  const std::string keysFile = directory / kKeysFileName;
  const auto flip = [&](size_t at, size_t cut) {
    const std::string bytes = Flipped(ReadFile(keysFile), at, 1);
    WriteFile(keysFile, bytes.substr(0, bytes.size() - cut));
  };
  const struct {
    const char* name;
    std::function<void()> change;  // with the mailbox closed
    bool keepsMailboxKey;
  } cases[] = {
      {"open", nullptr, true},
      {"reopened", [] {}, true},
      {"a damaged record (its key), a torn one", [&] { flip(24 + 9, 5); }, true},
      {"the side file gone", [&] { fs::remove(keysFile); }, false},
      {"a damaged head (the mailbox key)", [&] { flip(10, 0); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ItemKey before = mailbox.Keys().NewKey(0);
    if (c.change) {
      ASSERT_TRUE(mailbox.CloseIndex(false));
      c.change();
      ASSERT_TRUE(Open());
    }
    EXPECT_EQ(mailbox.Keys().NewKey(0) == before, c.keepsMailboxKey);
    uint32_t position = 99;
    EXPECT_EQ(mailbox.ImportExchangeFile(received, &position), theirs);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(mailbox.ImportExchangeFile(back), mine);
    EXPECT_EQ(std::make_pair(mailbox.Index().Count(), ItemFiles()), std::make_pair(2u, size_t{2}));
    // The head and a record per item: what did not read is written again.
    EXPECT_EQ(fs::file_size(keysFile), 24u + 2 * 32u);
  }
  ASSERT_TRUE(RemoveMailAtIndex(&context, 0));
  const uint32_t again = mailbox.ImportExchangeFile(received);
  EXPECT_EQ(again, mailbox.NextId() - 1) << "received anew";
  EXPECT_EQ(mailbox.Index().Count(), 2u);
}

// The last record of an id counts when its mark matches, in whatever order
// the records come; an item without one has its stamp read and one appended.
TEST_F(ItemKeysTest, TheLastRecordOfAnIdCountsWhenItsMarkMatches) {
  const uint32_t first = FileMail(), second = FileMail();
  const IndexEntry a = *mailbox.EntryOf(first), b = *mailbox.EntryOf(second);
  const std::string head = Sealed("QKEY" + MailboxKey());
  const std::string keysFile = directory / kKeysFileName;
  const std::string one = Record(first, a, true, first), two = Record(second, b, true, second);
  const std::string stale = Record(first, a, false, 99);
  const struct {
    const char* name;
    std::string records;
    size_t appended;  // records of stamps read at the open
  } cases[] = {
      {"in filing order", one + two, 0},
      {"out of order", two + one, 0},
      {"another filing of the id, then this one", stale + one + two, 0},
      {"this filing, then another of the id", one + two + stale, 1},
      {"no record of the second", one, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(mailbox.CloseIndex(false));
    WriteFile(keysFile, head + c.records);
    ASSERT_TRUE(Open());
    EXPECT_EQ(fs::file_size(keysFile), head.size() + c.records.size() + 32 * c.appended);
    EXPECT_EQ(mailbox.Keys().KeyOf(first), mailbox.Keys().NewKey(first));
    EXPECT_EQ(mailbox.Keys().KeyOf(second), mailbox.Keys().NewKey(second));
  }
  // An answer written first thing after an open names its parent by key.
  ASSERT_TRUE(mailbox.CloseIndex(false));
  ASSERT_TRUE(Open());
  EXPECT_EQ(KeysOf(FileAnswer(second)).parent, mailbox.Keys().NewKey(second));
}

}  // namespace
}  // namespace quorvel::testing
