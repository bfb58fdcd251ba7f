// What a mailbox takes from its directory: an index whose entries name files
// outside it, an index or journal that changed behind the library's back, a
// removed item whose file stayed, an item file the index does not list (the
// directory is listed only when it may hold one, yet within a bounded number
// of opens), and an item written here and not yet sent, which stays queued
// for sending when the index is rebuilt from the item files or files an item
// it did not list (an item already sent is not queued again). The index
// bytes are written here from the format's description.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "ByteCases.h"
#include "HostWrites.h"
#include "OnHostThread.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;
namespace fs = std::filesystem;


// "Mailbox.inv" with one root entry of kind 20, id 1, not yet sent and
// queued, whose file is `fileName`: the data case one-entry with its name.
std::string IndexNaming(const std::string& fileName) {
  std::string image = ReadCaseFile(std::string(QUORVEL_TEST_DATA) + "/index/one-entry.bytes");
  const std::string named = "08 \"~AT0.qv6\"";
  image.replace(image.find(named), named.size(),
                "u8:" + std::to_string(fileName.size()) + " \"" + fileName + "\"");
  return ParseBytes(image);
}

TEST(IndexTrustApi, AnEntryNamingAFileOutsideTheMailboxIsDamage) {
  std::ifstream names(std::string(QUORVEL_TEST_DATA) + "/index-names/leaving.txt");
  for (std::string name; std::getline(names, name);) {
    if (name.empty() || name[0] == '#') continue;
    SCOPED_TRACE(name);
    TempDirectory base;
    const std::string victim = base / "victim.qv6";
    WriteFile(victim, "not the mailbox's");
    if (name == "@VICTIM@") name = victim;
    fs::create_directories(base / "anna/mailbox");
    WriteFile(base / "anna/mailbox/Mailbox.inv", IndexNaming(name));
    OnHostThread([&] {
      ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
      EXPECT_EQ(TessalyGetItemAtIndex(0), nullptr) << "rebuilt from the items: there are none";
      EXPECT_FALSE(TessalyRemoveMailAtIndex(0));
    });
    EXPECT_TRUE(fs::exists(victim));
    EXPECT_EQ(ReadFile(base / "anna/mailbox/Mailbox-damaged-0.inv"), IndexNaming(name));
  }
  // A name the host puts into a handed-out entry deletes nothing either.
  TempDirectory base;
  WriteFile(base / "victim.qv6", "not the mailbox's");
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    ASSERT_TRUE(HostWritesMail(0));
    TessalyGetItemAtIndex(0)->fileName = "../../victim.qv6";
    EXPECT_TRUE(TessalyRemoveMailAtIndex(0));
  });
  EXPECT_TRUE(fs::exists(base / "victim.qv6"));
}

// A removed item whose file cannot be deleted (here: marked read-only) is
// never filed again; an open deletes the file once it can.
TEST(IndexTrustApi, ARemovedItemWhoseFileStaysNeverComesBack) {
  TempDirectory base;
  std::string stuck;
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    ASSERT_TRUE(HostWritesMail(0, {.text = u"removed"}));
    ASSERT_TRUE(HostWritesMail(1, {.text = u"kept"}));
    stuck = base / ("anna/mailbox/" + TessalyGetItemAtIndex(0)->fileName);
    fs::permissions(stuck, fs::perms::owner_read);
    EXPECT_TRUE(TessalyRemoveMailAtIndex(0));
    for (int open = 0; open < 2; ++open) {
      ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
      EXPECT_EQ(TessalyGetItemAtIndex(1), nullptr) << "open " << open;
      EXPECT_EQ(TessalyGetItemAtId(2), TessalyGetItemAtIndex(0));
      EXPECT_TRUE(fs::exists(stuck));
    }
    fs::permissions(stuck, fs::perms::owner_all);
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    EXPECT_FALSE(fs::exists(stuck));
    EXPECT_EQ(TessalyGetItemAtIndex(1), nullptr);
  });
  EXPECT_FALSE(fs::exists(base / "anna/mailbox/Mailbox.inv.new"))
      << "deleted at close";
}

// A flipped byte in the id of a sealed index leaves it well-formed; the seal
// tells, the index is rebuilt from the item files (what it keeps is the
// unsent-recovery test's) and its bytes are kept aside. A seal that does not
// read vouches for nothing: the index is taken as it is, as one the original
// library wrote.
TEST(IndexTrustApi, TheSealTellsAnIndexChangedBehindTheLibrary) {
  TempDirectory base;
  const std::string index = base / "anna/mailbox/Mailbox.inv";
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    ASSERT_TRUE(HostWritesMail(0));
  });
  std::string bytes = ReadFile(index);
  bytes[21 + 12 + 3] = '\xFF';  // the id: 0xFF000001
  for (const bool sealReads : {true, false}) {
    SCOPED_TRACE(sealReads ? "sealed" : "the seal does not read");
    if (!sealReads) {
      std::string seal = ReadFile(index + ".sum");
      seal[5] ^= 1;
      WriteFile(index + ".sum", seal);
    }
    WriteFile(index, bytes);
    OnHostThread([&] {
      ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
      EXPECT_EQ(TessalyGetItemAtId(1) != nullptr, sealReads);
    });
  }
  EXPECT_EQ(ReadFile(base / "anna/mailbox/Mailbox-damaged-0.inv"), bytes);
}

TEST(UnsentRecoveryApi, AnItemNotYetSentStaysQueuedWhateverBecameOfTheIndex) {
  std::ifstream cases(std::string(QUORVEL_TEST_DATA) + "/unsent-recovery/damages.txt");
  size_t tried = 0;
  std::string action;
  for (size_t at = 0; cases >> action;) {
    if (action[0] == '#' && std::getline(cases, action)) continue;
    ASSERT_TRUE(cases >> at);
    SCOPED_TRACE(action + " " + std::to_string(at));
    ++tried;
    TempDirectory base, shared;
    const std::string index = base / "anna/mailbox/Mailbox.inv", seal = index + ".sum";
    HostMail mail{.text = u"sent before", .route = "3|" + shared.path()};
    std::string older[2];  // the index and its seal once A was sent
    for (const bool sent : {true, false}) {
      OnHostThread([&] {
        ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
        ASSERT_TRUE(HostWritesMail(UINT32_MAX, mail));
        EXPECT_TRUE(!sent || TessalySendMails());
      });
      if (sent) older[0] = ReadFile(index), older[1] = ReadFile(seal);
      mail.text = u"not yet sent";
    }
    std::string bytes = ReadFile(index);
    ASSERT_GT(bytes.size(), 60u);
    ASSERT_TRUE(action == "flip" || action == "cut" || action == "gone" || action == "older");
    if (action == "flip") bytes[at] = static_cast<char>(~bytes[at]);
    if (action == "cut") bytes.resize(at);
    if (action == "older") bytes = older[0], WriteFile(seal, older[1]);
    if (action == "gone") {
      fs::remove(index);
    } else {
      WriteFile(index, bytes);
    }
    OnHostThread([&] {
      ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
      ASSERT_NE(TessalyGetItemAtIndex(1), nullptr);
      EXPECT_EQ(TessalyGetItemAttributes(0) & kItemNotSent, 0) << "sent";
      EXPECT_EQ(TessalyGetItemAttributes(1) & kItemNotSent, kItemNotSent) << "not yet sent";
      EXPECT_EQ(TessalyGetItemAtIndex(1)->outRoutes, std::vector<std::string>{mail.route});
      ASSERT_TRUE(TessalySendMails());
      EXPECT_EQ(TessalyGetItemAttributes(1) & kItemNotSent, 0) << "sent now";
    });
    EXPECT_EQ(std::distance(fs::directory_iterator(shared.path()), fs::directory_iterator()), 2)
        << "B went, A did not go again";
  }
  EXPECT_GT(tried, 5u);
}

// Opens and closes the mailbox; answers how many items it lists.
uint32_t OpenCount(const TempDirectory& base) {
  uint32_t count = 0;
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    while (TessalyGetItemAtIndex(count) != nullptr) ++count;
  });
  return count;
}

TEST(ListedItemsApi, AnItemFilePutIntoTheMailboxIsFiledWhateverTheDirectorysTime) {
  for (const bool keepTime : {false, true}) {
    SCOPED_TRACE(keepTime ? "the directory's time put back" : "as copied");
    TempDirectory base;
    const fs::path mailbox = base / "anna/mailbox";
    OnHostThread([&] {
      ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
      ASSERT_TRUE(HostWritesMail(0));
    });
    const fs::path item = mailbox / "~AT0.qv6";
    ASSERT_TRUE(fs::exists(item));
    const std::string bytes = ReadFile(item.string());
    OnHostThread([&] {
      ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
      ASSERT_TRUE(TessalyRemoveMailAtIndex(0));
    });
    ASSERT_FALSE(fs::exists(item));
    ASSERT_EQ(OpenCount(base), 0u);
    const fs::file_time_type time = fs::last_write_time(mailbox);
    WriteFile((mailbox / "~AT9.qv6").string(), bytes);
    if (!keepTime) {
      EXPECT_EQ(OpenCount(base), 1u) << "a new file changes the directory's time";
      continue;
    }
    std::error_code timeNotSet;
    fs::last_write_time(mailbox, time, timeNotSet);
    if (timeNotSet) GTEST_SKIP() << "the directory's time cannot be put back here: " << timeNotSet.message();
    uint32_t opens = 1;
    while (OpenCount(base) == 0 && opens < 100) ++opens;
    EXPECT_GT(opens, 1u) << "an unchanged directory is not listed";
    EXPECT_LE(opens, 32u) << "but listed at least every 32nd open";
  }
}

}  // namespace
