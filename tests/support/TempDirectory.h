// A fresh directory of the caller's alone under the system's temporary directory, removed with
// its contents at the end. Its path ends with the system's separator; names below it are
// written with "/", which becomes that separator.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace quorvel::testing {

// `path` with each "/" turned into the system's separator.
inline std::string NativePath(std::string path) {
  for (char& c : path) {
    if (c == '/') c = static_cast<char>(std::filesystem::path::preferred_separator);
  }
  return path;
}

class TempDirectory {
 public:
  explicit TempDirectory(const std::string& prefix = "quorvel-test-") {
    std::random_device seed;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / (prefix + std::to_string(seed()));
      if (std::filesystem::create_directory(path_)) break;
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  ~TempDirectory() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }

  // The directory with a trailing separator, as the library keeps directories.
  std::string path() const { return NativePath(path_.string() + "/"); }
  std::string operator/(const std::string& name) const { return path() + NativePath(name); }

 private:
  std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace quorvel::testing
