// The real registry, read only: every key is opened with KEY_READ whatever
// access the caller names, so the library can never change it. Only
// SetRegistryString writes (hosts and tests); ClearRegistry removes what it
// wrote, and nothing else.
#include <windows.h>

#include <mutex>
#include <tuple>
#include <vector>

#include "platform/Registry.h"

namespace quorvel::platform {

struct RegistryNode {
  explicit RegistryNode(HKEY opened) : key(opened) {}
  ~RegistryNode() { ::RegCloseKey(key); }
  RegistryNode(const RegistryNode&) = delete;
  RegistryNode& operator=(const RegistryNode&) = delete;
  HKEY key;
};

namespace {

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

bool IsString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// The keys SetRegistryString created and the values it set, for ClearRegistry.
struct Written {
  std::mutex lock;
  std::vector<std::pair<HKEY, std::string>> createdKeys;  // the outermost first
  std::vector<std::tuple<HKEY, std::string, std::string>> values;
};

Written& TheWritten() {
  static Written written;
  return written;
}

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

void SetRegistryString(RegistryRoot root, std::string_view path, std::string_view name,
                       std::string_view value) {
  Written& written = TheWritten();
  std::lock_guard hold(written.lock);
  const HKEY rootKey = RootKey(root);
  HKEY key = nullptr;
  // Level by level, so that every key this creates is known.
  for (size_t end = 0; end != std::string_view::npos;) {
    end = path.find('\\', end + 1);
    const std::string level(path.substr(0, end));
    if (key != nullptr) ::RegCloseKey(key);
    key = nullptr;
    DWORD disposition = 0;
    if (::RegCreateKeyExA(rootKey, level.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                          &disposition) != ERROR_SUCCESS) {
      return;
    }
    if (disposition == REG_CREATED_NEW_KEY) written.createdKeys.emplace_back(rootKey, level);
  }
  const std::string text(value);
  if (::RegSetValueExA(key, std::string(name).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS) {
    written.values.emplace_back(rootKey, std::string(path), std::string(name));
  }
  ::RegCloseKey(key);
}

void ClearRegistry() {
  Written& written = TheWritten();
  std::lock_guard hold(written.lock);
  for (const auto& [root, path, name] : written.values) {
    ::RegDeleteKeyValueA(root, path.c_str(), name.c_str());
  }
  written.values.clear();
  // A created key goes with everything below it (which this created too).
  for (const auto& [root, path] : written.createdKeys) ::RegDeleteTreeA(root, path.c_str());
  written.createdKeys.clear();
}

}  // namespace quorvel::platform
