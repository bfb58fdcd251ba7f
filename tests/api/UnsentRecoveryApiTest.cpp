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
    TempDirectory base, shared;
    const std::string index = base / "anna/mailbox/Mailbox.inv", seal = index + ".sum";
    HostMail mail{.text = u"sent before", .route = "3|" + shared.path()};
    std::string olderIndex, olderSeal;
    for (const bool sent : {true, false}) {
      OnHostThread([&] {
        ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
        ASSERT_TRUE(HostWritesMail(UINT32_MAX, mail));
        if (sent) {
          ASSERT_TRUE(TessalySendMails());
        }
      });
      if (sent) {
        olderIndex = ReadFile(index);
        olderSeal = ReadFile(seal);
      }
      mail.text = u"not yet sent";
    }
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

}  // namespace
