// The library's working copies through libquorvel.so: an item being written
// or read is copied into a directory of the process's own inside the
// temporary directory, which only the user may enter, never into the
// temporary directory itself where others could read or take its name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "HostWrites.h"
#include "OnHostThread.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;
namespace fs = std::filesystem;

// Points the temporary directory (TMPDIR on POSIX, TMP on Windows) at
// `directory` for the object's life.
class TemporaryDirectoryVariables {
 public:
  explicit TemporaryDirectoryVariables(const std::string& directory)
      : tmpdir_("TMPDIR=" + directory), tmp_("TMP=" + directory) {
    putenv(tmpdir_.data());
    putenv(tmp_.data());
  }
  ~TemporaryDirectoryVariables() {
    putenv(restoreTmpdir_.data());
    putenv(restoreTmp_.data());
  }

 private:
  std::string tmpdir_, tmp_;
  std::string restoreTmpdir_ = "TMPDIR=" + fs::temp_directory_path().string();
  std::string restoreTmp_ = "TMP=" + fs::temp_directory_path().string();
};

TEST(WorkingCopies, LieInADirectoryOfTheProcessThatOnlyTheUserMayEnter) {
  TempDirectory temporary;
  TempDirectory base;
  TemporaryDirectoryVariables variables(temporary.path());
  OnHostThread([&] {
    ASSERT_TRUE(TessalyOpenMailBox(base.path().c_str(), "anna"));
    ASSERT_TRUE(HostWritesMail(99, {.text = u"private"}));
    // Reading the text keeps the item's working copies until the next item.
    EXPECT_EQ(TessalyGetItemMessageText(0).Owned().View(), u"private");
    size_t copies = 0;
    for (const auto& entry : fs::recursive_directory_iterator(temporary.path())) {
      if (entry.path().filename().string().rfind("~AT", 0) != 0) continue;
      ++copies;
      const fs::path directory = entry.path().parent_path();
      EXPECT_NE(directory, fs::path(temporary.path()).parent_path()) << entry.path();
      EXPECT_EQ(fs::status(directory).permissions() & (fs::perms::group_all | fs::perms::others_all),
                fs::perms::none)
          << directory;
    }
    EXPECT_GT(copies, 0u);
  });
}

}  // namespace
