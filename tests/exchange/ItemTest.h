// The exchange tests' set-up: a test directory with an item path, TMPDIR pointed at a fresh
// directory (to see the working copies there), and the record or exchange file under test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "RecordBytes.h"
#include "TempDirectory.h"
#include "frame/WorkingDirectory.h"
#include "platform/Environment.h"

namespace quorvel::testing {

class TemporaryDirectoryOverride {
 public:
  TemporaryDirectoryOverride()
      : previous_(platform::EnvironmentValue(platform::kTemporaryDirectoryVariable)) {
    platform::SetEnvironmentValue(platform::kTemporaryDirectoryVariable, directory_.path());
  }
  ~TemporaryDirectoryOverride() {
    platform::SetEnvironmentValue(platform::kTemporaryDirectoryVariable, previous_);
  }

  std::string path() const { return directory_.path(); }
  // The library's temporary files ("~AT...") in it and in its working directories.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory_.path())) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("~AT", 0) == 0) names.push_back(name);
      if (name.rfind("quorvel-run-", 0) != 0) continue;
      for (const auto& inner : std::filesystem::directory_iterator(entry.path())) {
        const std::string innerName = inner.path().filename().string();
        if (innerName.rfind("~AT", 0) == 0) names.push_back(innerName);
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  TempDirectory directory_;
  std::optional<std::string> previous_;
};

using Names = std::vector<std::string>;

// `File` is a RecordFile or an ExchangeFile (their Open and Close agree).
template <typename File>
class ItemTest : public ::testing::Test {
 protected:
  ~ItemTest() override { file.Close(); }

  // Writes `bytes` to the item path and opens them read-only, in place.
  bool OpenBytes(const std::string& bytes) {
    WriteFile(path, bytes);
    return file.Open(path, true, false);
  }

  TemporaryDirectoryOverride temporary;
  TempDirectory dir;
  std::string path = dir / "item.qv6";
  File file;
};

}  // namespace quorvel::testing
