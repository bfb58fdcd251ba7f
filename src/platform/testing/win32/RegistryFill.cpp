// Filling the real registry for the tests: every key created and value set
// is remembered, so that ClearRegistry takes back exactly that.
#include <windows.h>

#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "platform/testing/RegistryFill.h"
#include "platform/win32/RegistryRoots.h"

namespace quorvel::platform {

namespace {

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
