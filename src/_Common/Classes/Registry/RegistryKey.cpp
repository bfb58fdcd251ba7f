// Paths are kept without a trailing backslash so that walking down appends
// exactly one and walking up drops whole components.
#include "_Common/Classes/Registry/RegistryKey.h"

namespace quorvel {

namespace {

const char* RootName(platform::RegistryRoot root) {
  switch (root) {
    case platform::RegistryRoot::ClassesRoot: return "HKEY_CLASSES_ROOT\\";
    case platform::RegistryRoot::CurrentUser: return "HKEY_CURRENT_USER\\";
    case platform::RegistryRoot::LocalMachine: return "HKEY_LOCAL_MACHINE\\";
    case platform::RegistryRoot::Users: return "HKEY_USERS\\";
    case platform::RegistryRoot::PerformanceData: return "HKEY_PERFORMANCE_DATA\\";
    case platform::RegistryRoot::CurrentConfig: return "HKEY_CURRENT_CONFIG\\";
    case platform::RegistryRoot::DynData: return "HKEY_DYN_DATA\\";
  }
  return "";
}

std::string WithoutTrailingBackslashes(std::string_view path) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return std::string(path);
}

}  // namespace

RegistryKey::RegistryKey(platform::RegistryRoot root, uint32_t access)
    : root_(root), rootName_(RootName(root)), access_(access) {}

RegistryKey::~RegistryKey() { Close(); }

void RegistryKey::Close() { key_.reset(); }

bool RegistryKey::OpenPath(platform::RegistryRoot root, std::string path, uint32_t access) {
  Close();
  platform::RegistryHandle opened;
  status_ = platform::OpenRegistryKey(root, path, access, opened);
  if (status_ != platform::kRegistrySuccess) {
    platform::OpenRegistryKey(root_, path_, access_, key_);  // back where it was
    return false;
  }
  key_ = std::move(opened);
  root_ = root;
  rootName_ = RootName(root);
  path_ = std::move(path);
  access_ = access;
  return true;
}

bool RegistryKey::Open(platform::RegistryRoot root, std::string_view path, uint32_t access) {
  return OpenPath(root, WithoutTrailingBackslashes(path), access);
}

bool RegistryKey::OpenSubKey(std::string_view relativePath) {
  std::string path = path_;
  if (!path.empty()) path += '\\';
  path += relativePath;
  return OpenPath(root_, WithoutTrailingBackslashes(path), access_);
}

bool RegistryKey::Up(int levels) {
  std::string path = path_;
  for (int i = 0; i < levels; ++i) {
    const size_t cut = path.rfind('\\');
    path.erase(cut == std::string::npos ? 0 : cut);
  }
  return OpenPath(root_, std::move(path), access_);
}

bool RegistryKey::ReadString(std::string_view valueName, std::string& text) {
  std::string data;
  status_ = platform::QueryRegistryValue(key_, valueName, valueType_, data, kLongestValue,
                                         valueSize_);
  if (status_ != platform::kRegistrySuccess) return false;
  text = data.substr(0, data.find('\0'));
  return true;
}

bool RegistryKey::EnumSubKeys(std::vector<std::string>& names) {
  for (uint32_t index = 0;; ++index) {
    std::string name;
    status_ = platform::EnumerateRegistryKey(key_, index, name, kLongestValue + 1);
    if (status_ != platform::kRegistrySuccess) break;
    names.push_back(std::move(name));
  }
  const bool reachedTheEnd = status_ == platform::kRegistryNoMoreItems;
  if (reachedTheEnd) status_ = platform::kRegistrySuccess;
  return reachedTheEnd;
}

}  // namespace quorvel
