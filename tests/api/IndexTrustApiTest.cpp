// What a mailbox takes from its directory: an index whose entries name files
// outside it, an index or journal that changed behind the library's back, a
// removed item whose file stayed, a directory that cannot be written. The
// index bytes are written here from the format's description.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ByteCases.h"
#include "HostWrites.h"
#include "OnHostThread.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;

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
    std::filesystem::create_directories(base / "anna/mailbox");
    WriteFile(base / "anna/mailbox/Mailbox.inv", IndexNaming(name));
    OnHostThread([&] {
      ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
      EXPECT_EQ(TessalyGetItemAtIndex(0), nullptr) << "rebuilt from the items: there are none";
      EXPECT_FALSE(TessalyRemoveMailAtIndex(0));
    });
    EXPECT_TRUE(std::filesystem::exists(victim));
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
  EXPECT_TRUE(std::filesystem::exists(base / "victim.qv6"));
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
    std::filesystem::permissions(stuck, std::filesystem::perms::owner_read);
    EXPECT_TRUE(TessalyRemoveMailAtIndex(0));
    for (int open = 0; open < 2; ++open) {
      ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
      EXPECT_EQ(TessalyGetItemAtIndex(1), nullptr) << "open " << open;
      EXPECT_EQ(TessalyGetItemAtId(2), TessalyGetItemAtIndex(0));
      EXPECT_TRUE(std::filesystem::exists(stuck));
    }
    std::filesystem::permissions(stuck, std::filesystem::perms::owner_all);
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    EXPECT_FALSE(std::filesystem::exists(stuck));
    EXPECT_EQ(TessalyGetItemAtIndex(1), nullptr);
  });
  EXPECT_FALSE(std::filesystem::exists(base / "anna/mailbox/Mailbox.inv.new"))
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

}  // namespace
