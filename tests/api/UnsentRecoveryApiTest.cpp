// An item written here and not yet sent stays queued for sending when the
// index is rebuilt from the item files or files an item it did not list;
// an item already sent is not queued again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "HostWrites.h"
#include "OnHostThread.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;
namespace fs = std::filesystem;

size_t FilesIn(const fs::path& directory) {
  return fs::exists(directory) ? static_cast<size_t>(std::distance(
                                     fs::directory_iterator(directory), fs::directory_iterator()))
                               : 0;
}

TEST(UnsentRecoveryApi, AnItemNotYetSentStaysQueuedWhateverBecameOfTheIndex) {
  std::ifstream cases(std::string(QUORVEL_TEST_DATA) + "/unsent-recovery/damages.txt");
  size_t tried = 0;
  for (std::string line; std::getline(cases, line);) {
    if (line.empty() || line[0] == '#') continue;
    SCOPED_TRACE(line);
    ++tried;
    std::istringstream fields(line);
    std::string action;
    size_t number = 0;
    fields >> action >> number;
    TempDirectory base;
    const fs::path shared = base / "shared";
    fs::create_directories(shared);
    const fs::path mailbox = base / "anna/mailbox";
    const std::string index = (mailbox / "Mailbox.inv").string();
    const std::string seal = (mailbox / "Mailbox.inv.sum").string();
    HostMail mail;
    mail.route = "3|" + shared.string() + "/";
    mail.text = u"sent before";
    OnHostThread([&] {
      ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
      ASSERT_TRUE(HostWritesMail(0, mail));
      ASSERT_TRUE(TessalySendMails());
    });
    ASSERT_EQ(FilesIn(shared), 1u);
    const std::string olderIndex = ReadFile(index);
    const std::string olderSeal = ReadFile(seal);
    mail.text = u"not yet sent";
    OnHostThread([&] {
      ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
      ASSERT_TRUE(HostWritesMail(1, mail));
    });
    std::string bytes = ReadFile(index);
    ASSERT_GT(bytes.size(), 60u);
    if (action == "flip") {
      bytes[number] = static_cast<char>(~bytes[number]);
      WriteFile(index, bytes);
    } else if (action == "cut") {
      WriteFile(index, bytes.substr(0, number));
    } else if (action == "gone") {
      fs::remove(index);
    } else {
      ASSERT_EQ(action, "older");
      WriteFile(index, olderIndex);
      WriteFile(seal, olderSeal);
    }
    OnHostThread([&] {
      ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
      ASSERT_NE(TessalyGetItemAtIndex(1), nullptr);
      EXPECT_EQ(TessalyGetItemAttributes(0) & 0x0002, 0) << "sent";
      EXPECT_EQ(TessalyGetItemAttributes(1) & 0x0002, 0x0002) << "not yet sent";
      EXPECT_EQ(TessalyGetItemAtIndex(1)->outRoutes, std::vector<std::string>{mail.route});
      ASSERT_TRUE(TessalySendMails());
      EXPECT_EQ(TessalyGetItemAttributes(1) & 0x0002, 0) << "sent now";
    });
    EXPECT_EQ(FilesIn(shared), 2u) << "B went, A did not go again";
  }
  EXPECT_GT(tried, 5u);
}

}  // namespace
