// The system registry, read only: keys below predefined roots, string values
// and the names of subkeys, with the Windows status codes. On systems without
// a registry it is an in-memory tree, empty unless the tests fill it
// (platform/testing/RegistryFill.h) to exercise every reader of the library.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quorvel::platform {

enum class RegistryRoot : uint8_t {
  ClassesRoot,
  CurrentUser,
  LocalMachine,
  Users,
  PerformanceData,
  CurrentConfig,
  DynData,
};

// Status codes, as the Windows registry functions answer them.
inline constexpr int32_t kRegistrySuccess = 0;
inline constexpr int32_t kRegistryNotFound = 2;      // ERROR_FILE_NOT_FOUND
inline constexpr int32_t kRegistryInvalidHandle = 6;  // ERROR_INVALID_HANDLE
inline constexpr int32_t kRegistryMoreData = 234;    // ERROR_MORE_DATA
inline constexpr int32_t kRegistryNoMoreItems = 259;  // ERROR_NO_MORE_ITEMS

// Access masks.
inline constexpr uint32_t kRegistryRead = 0x20019;       // KEY_READ
inline constexpr uint32_t kRegistryAllAccess = 0xF003F;  // KEY_ALL_ACCESS

inline constexpr uint32_t kRegistryTypeString = 1;  // REG_SZ

struct RegistryNode;
// An open key; empty when none. Keys stay readable while open, even when the
// tree is changed or cleared meanwhile.
using RegistryHandle = std::shared_ptr<const RegistryNode>;

// Opens root\path; the components of `path` are separated by backslashes,
// names compare without regard to case.
int32_t OpenRegistryKey(RegistryRoot root, std::string_view path, uint32_t access,
                        RegistryHandle& key);
// Reads a value (an empty name: the key's default value) when its data,
// with the terminating NUL of a string, fits into `capacity` bytes;
// kRegistryMoreData when it does not. `size` receives the data's size.
int32_t QueryRegistryValue(const RegistryHandle& key, std::string_view name, uint32_t& type,
                           std::string& data, uint32_t capacity, uint32_t& size);
// The name of the subkey at `index` (in the order of the names), when it is
// shorter than `capacity`; kRegistryNoMoreItems past the last one.
int32_t EnumerateRegistryKey(const RegistryHandle& key, uint32_t index, std::string& name,
                             uint32_t capacity);

}  // namespace quorvel::platform
