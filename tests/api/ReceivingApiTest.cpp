// Shared directories through libquorvel.so: the item files a mailbox writes
// are dropped into a shared directory, as a sender would, or sent there, and
// received there. Where replies land is the demo's concern (quorvel demo).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "HostWrites.h"
#include "OnHostThread.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;
namespace fs = std::filesystem;

std::string Correspondents() {
  std::string names;
  for (uint32_t i = 0; const IndexEntry* entry = TessalyGetItemAtIndex(i); ++i) {
    for (const char16_t c : entry->correspondent.text.View()) names += static_cast<char>(c);
    names += "/" + std::to_string(entry->depth) + " ";
  }
  return names;
}

std::vector<std::string> FileNames(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ReceivingApiTest, WithoutContextOrMailboxNothingIsRegisteredOrReceived) {
  TessalyAddProtocolFileIn("/tmp");
  TessalyAddProtocolPopIn("127.0.0.1", 110, "u", "p");
  TessalyAddProtocolHttpIn("a", 80, "b");
  EXPECT_FALSE(TessalyReceiveMails());
  OnHostThread([] { EXPECT_FALSE(TessalyReceiveMails()); });
}

// Pupil mails of three extensions and another file in a shared directory
// registered twice: taken in the order of the extensions, each once; the
// same item under two names is filed once and both files are taken; the
// other file stays. While receiving is locked nothing is taken.
TEST(ReceivingApiTest, ASharedDirectoryGivesEveryItemOnce) {
  TempDirectory base;
  TempDirectory shared;
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    for (const char16_t* pupil : {u"Cleo", u"Bert", u"Anna"}) {
      ASSERT_TRUE(HostWritesMail(99, {.pupil = pupil}));
    }
    const std::pair<uint32_t, const char*> copies[] = {
        {0, "c.qvs"}, {1, "b.qv5"}, {2, "a.qv6"}, {2, "e.qv6"}, {2, "d.txt"}};
    for (const auto& [index, name] : copies) {
      fs::copy_file(base / "anna/mailbox/" + TessalyGetItemAtIndex(index)->fileName,
                    shared / name);
    }

    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "tom"));
    std::string directory = shared.path();
    directory.pop_back();  // registered without its separator
    TessalyAddProtocolFileIn(directory.c_str());
    TessalyAddProtocolFileIn(shared.path().c_str());
    TessalyAddProtocolHttpIn("web", 80, "box");
    TessalySetDllLockingMode(0x2);
    EXPECT_FALSE(TessalyReceiveMails());
    EXPECT_EQ(FileNames(shared.path()).size(), 5u);
    TessalySetDllLockingMode(0x1);
    ASSERT_TRUE(TessalyReceiveMails());
    EXPECT_EQ(Correspondents(), "Anna/0 Bert/0 Cleo/0 ");
    EXPECT_EQ(FileNames(shared.path()), std::vector<std::string>{"d.txt"});
    for (uint32_t i = 0; i < 3; ++i) {
      EXPECT_NE(TessalyGetItemAtId(i + 1), nullptr);
      EXPECT_EQ(TessalyGetMessageType(i), 20);
      EXPECT_EQ(TessalyGetItemAttributes(i), 0x0001);
      EXPECT_EQ(TessalyGetSourceId(i + 1), 0);  // they answer nothing
    }
    ASSERT_TRUE(TessalyReceiveMails());  // nothing left: nothing more
    EXPECT_EQ(TessalyGetItemAtIndex(3), nullptr);
  });
}

// Two pupils whose routes name the same shared directory, each sending the
// first item of a mailbox ("~AT0.qv6" in both): neither overwrites the
// other.
TEST(ReceivingApiTest, TwoSendersIntoOneSharedDirectoryNeverOverwriteEachOther) {
  TempDirectory base;
  TempDirectory shared;
  const std::string route = "3|" + shared.path();
  std::vector<std::thread> senders;
  for (const char16_t* pupil : {u"Anna", u"Bert"}) {
    senders.emplace_back([&, pupil] {
      OnHostThread([&] {
        const std::string user(pupil, pupil + 4);
        ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), user.c_str()));
        ASSERT_TRUE(HostWritesMail(99, {.pupil = pupil, .route = route}));
        EXPECT_EQ(TessalyGetItemAtIndex(0)->fileName, "~AT0.qv6");
        ASSERT_TRUE(TessalySendMails());
        EXPECT_EQ(TessalyGetItemAttributes(0) & 0x0002, 0) << "sent";
      });
    });
  }
  for (std::thread& sender : senders) sender.join();
  EXPECT_EQ(FileNames(shared.path()), (std::vector<std::string>{"~AT0.qv6", "~AT1.qv6"}));
  EXPECT_NE(ReadFile(shared / "~AT0.qv6"), ReadFile(shared / "~AT1.qv6"));
}

}  // namespace
