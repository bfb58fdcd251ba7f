// An open lists the mailbox directory for item files the index does not list
// only when the directory may hold one; a file placed while keeping the
// directory's time is still filed, within a bounded number of opens.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "HostWrites.h"
#include "OnHostThread.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;
namespace fs = std::filesystem;

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
