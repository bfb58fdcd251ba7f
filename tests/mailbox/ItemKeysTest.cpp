// Items by their keys: a received item is filed under the item its stamp's
// key names, whatever the ids; one the mailbox holds already is not filed
// again, also when the side file of the keys is gone or damaged.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "ReceivedItems.h"
#include "mailbox/ItemKeys.h"
#include "mailbox/ItemRemoval.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using exchange::ItemKey;
using exchange::StampKeys;

class ItemKeysTest : public OpenMailboxTest {
 protected:
  std::string Sent(uint32_t senderId, uint32_t parentId, const StampKeys& keys) {
    const std::string path = outside / ("sent" + std::to_string(++sent) + ".qv6");
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
  int sent = 0;
};

TEST_F(ItemKeysTest, AReceivedItemIsFiledUnderTheItemItsKeyNames) {
  const uint32_t first = FileMail(), second = FileMail(), answer = FileAnswer(second);
  // What this mailbox files names itself and what it answers by key.
  const StampKeys stamped = KeysOf(answer);
  EXPECT_EQ(stamped.own, mailbox.Keys().NewKey(answer));
  EXPECT_EQ(stamped.parent, mailbox.Keys().NewKey(second));
  EXPECT_EQ(KeysOf(first).parent, std::nullopt);
  struct Case {
    const char* name;
    uint32_t parentId;
    std::optional<ItemKey> parentKey;
    const char* tree;  // after filing it (id 4, 5, ...)
  };
  const Case cases[] = {
      {"by its key, whatever its id", 1, mailbox.Keys().NewKey(second), "1:0 2:0 3:1 4:1"},
      {"without keys, by its id", 1, std::nullopt, "1:0 5:1 2:0 3:1 4:1"},
      {"a key not here: a new thread", 1, SenderKey(99), "1:0 5:1 2:0 3:1 4:1 6:0"},
      {"under a received item by its key", 999, SenderKey(70), "1:0 5:1 2:0 3:1 4:1 7:2 6:0"},
  };
  uint32_t senderId = 70;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const StampKeys keys{c.parentKey ? std::optional(SenderKey(senderId)) : std::nullopt,
                         c.parentKey};
    EXPECT_NE(mailbox.ImportExchangeFile(Sent(senderId++, c.parentId, keys)), kNoItem);
    EXPECT_EQ(Tree(), c.tree);
    EXPECT_EQ(mailbox.EntryOf(mailbox.NextId() - 1)->sourceId, c.parentId);  // as ever
  }
}

TEST_F(ItemKeysTest, AnItemReceivedTwiceIsFiledOnce) {
  const std::string received = Sent(70, 0, {SenderKey(70), std::nullopt});
  const uint32_t theirs = mailbox.ImportExchangeFile(received);
  const uint32_t mine = FileMail();
  const std::string back = outside / "back.qv6";  // an item of ours comes back
  fs::copy_file(mailbox.PathOf(*mailbox.EntryOf(mine)), back);
  const std::string keysFile = directory / kKeysFileName;
  struct Case {
    const char* name;
    std::function<void()> change;  // with the mailbox closed
    bool keepsMailboxKey;
  };
  const Case cases[] = {
      {"open", nullptr, true},
      {"reopened", [] {}, true},
      {"a damaged record, a torn one", [&] {
         std::string bytes = ReadFile(keysFile);
         bytes[24 + 9] ^= 1;  // in the first record's key
         WriteFile(keysFile, bytes.substr(0, bytes.size() - 5));
       }, true},
      {"the side file gone", [&] { fs::remove(keysFile); }, false},
      {"a damaged head", [&] {
         std::string bytes = ReadFile(keysFile);
         bytes[10] ^= 1;  // in the mailbox key
         WriteFile(keysFile, bytes);
       }, false},
  };
  for (const Case& c : cases) {
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
    EXPECT_EQ(mailbox.Index().Count(), 2u);
    EXPECT_EQ(ItemFiles(), 2u);
    // The head and a record per item: what did not read is written again.
    EXPECT_EQ(fs::file_size(keysFile), 24u + 2 * 32u);
  }
  // A removed item is received anew.
  ASSERT_TRUE(RemoveMailAtIndex(&context, 0));
  const uint32_t again = mailbox.ImportExchangeFile(received);
  EXPECT_EQ(again, mailbox.NextId() - 1);
  EXPECT_EQ(mailbox.Index().Count(), 2u);
}

}  // namespace
}  // namespace quorvel::testing
