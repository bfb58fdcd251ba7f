// RegistryKey: one open registry key that remembers where it is (root and
// path), so that callers can walk down to subkeys and back up. Every call
// records its status, and reads record the value's type and size.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace quorvel {

class RegistryKey {
 public:
  // Values and subkey names longer than this cannot be read.
  static constexpr uint32_t kLongestValue = 200;

  explicit RegistryKey(platform::RegistryRoot root = platform::RegistryRoot::CurrentUser,
                       uint32_t access = platform::kRegistryRead);
  virtual ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens root\path (closing the key open before); on failure the previous
  // root and path stay.
  bool Open(platform::RegistryRoot root, std::string_view path, uint32_t access);
  // Opens the current path followed by `relativePath`; on failure the
  // previous path stays.
  bool OpenSubKey(std::string_view relativePath);
  // Opens the current path without its last `levels` components.
  bool Up(int levels);
  // Reads a string value of at most 200 bytes; an empty name reads the
  // key's default value.
  bool ReadString(std::string_view valueName, std::string& text);
  // The names of all subkeys, up to the first enumeration error.
  bool EnumSubKeys(std::vector<std::string>& names);
  void Close();

  int32_t status() const { return status_; }
  uint32_t valueType() const { return valueType_; }
  uint32_t valueSize() const { return valueSize_; }
  const std::string& rootName() const { return rootName_; }
  const std::string& path() const { return path_; }

 private:
  bool OpenPath(platform::RegistryRoot root, std::string path, uint32_t access);

  int32_t status_ = platform::kRegistrySuccess;
  uint32_t valueType_ = 0;
  uint32_t valueSize_ = 0;
  platform::RegistryHandle key_;
  platform::RegistryRoot root_;
  std::string rootName_;
  std::string path_;  // below the root, without a trailing backslash
  uint32_t access_;
};

}  // namespace quorvel
