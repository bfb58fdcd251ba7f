// The real registry, read only: every key is opened with KEY_READ whatever
// access the caller names, so the library can never change it. Only the
// tests write (platform/testing), and take back what they wrote.
#include <windows.h>

#include <vector>

#include "platform/Registry.h"
#include "platform/win32/RegistryRoots.h"

namespace quorvel::platform {

struct RegistryNode {
  explicit RegistryNode(HKEY opened) : key(opened) {}
  ~RegistryNode() { ::RegCloseKey(key); }
  RegistryNode(const RegistryNode&) = delete;
  RegistryNode& operator=(const RegistryNode&) = delete;
  HKEY key;
};

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users: return HKEY_USERS;
    case RegistryRoot::PerformanceData: return HKEY_PERFORMANCE_DATA;
    case RegistryRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
    case RegistryRoot::DynData: return HKEY_DYN_DATA;
  }
  return HKEY_CURRENT_USER;
}

namespace {

bool IsString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

}  // namespace

int32_t OpenRegistryKey(RegistryRoot root, std::string_view path, uint32_t /*access*/,
                        RegistryHandle& key) {
  HKEY opened = nullptr;
  const LONG status = ::RegOpenKeyExA(RootKey(root), std::string(path).c_str(), 0, KEY_READ, &opened);
  if (status != ERROR_SUCCESS) return status;
  key = std::make_shared<const RegistryNode>(opened);
  return kRegistrySuccess;
}

int32_t QueryRegistryValue(const RegistryHandle& key, std::string_view name, uint32_t& type,
                           std::string& data, uint32_t capacity, uint32_t& size) {
  if (!key) return kRegistryInvalidHandle;
  std::vector<BYTE> buffer(capacity);
  DWORD found = 0;
  DWORD length = capacity;
  const LONG status = ::RegQueryValueExA(key->key, std::string(name).c_str(), nullptr, &found,
                                         capacity == 0 ? nullptr : buffer.data(), &length);
  size = length;
  if (status != ERROR_SUCCESS) return status;
  type = found;
  data.assign(reinterpret_cast<const char*>(buffer.data()), length);
  if (IsString(found) && !data.empty() && data.back() == '\0') data.pop_back();
  return kRegistrySuccess;
}

int32_t EnumerateRegistryKey(const RegistryHandle& key, uint32_t index, std::string& name,
                             uint32_t capacity) {
  if (!key) return kRegistryInvalidHandle;
  std::vector<char> buffer(capacity + 1);
  DWORD length = capacity;
  const LONG status = ::RegEnumKeyExA(key->key, index, buffer.data(), &length, nullptr, nullptr,
                                      nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  name.assign(buffer.data(), length);
  return kRegistrySuccess;
}

}  // namespace quorvel::platform
