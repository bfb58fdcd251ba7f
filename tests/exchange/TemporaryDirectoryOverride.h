// Points the system's temporary directory (TMPDIR) at a fresh test directory
// for the life of the object, so that tests can see the working copies that
// exchange files leave or remove there.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "TempDirectory.h"

namespace quorvel::exchange::testing {

class TemporaryDirectoryOverride {
 public:
  TemporaryDirectoryOverride() {
    if (const char* old = std::getenv("TMPDIR")) previous_ = old;
    setenv("TMPDIR", directory_.path().c_str(), 1);
  }
  TemporaryDirectoryOverride(const TemporaryDirectoryOverride&) = delete;
  TemporaryDirectoryOverride& operator=(const TemporaryDirectoryOverride&) = delete;
  ~TemporaryDirectoryOverride() {
    if (previous_) {
      setenv("TMPDIR", previous_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

  std::string path() const { return directory_.path(); }
  // The names of the library's temporary files ("~AT...") in it.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory_.path())) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("~AT", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  quorvel::testing::TempDirectory directory_;
  std::optional<std::string> previous_;
};

}  // namespace quorvel::exchange::testing
