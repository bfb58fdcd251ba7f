// The in-memory registry: one tree per root. Names keep their spelling and
// compare without regard to case, as Windows does; subkeys are listed in the
// order of their names. A lock covers filling and reading; open keys share
// their nodes, so clearing the tree never leaves a dangling key.
#include <algorithm>
#include <array>
#include <map>
#include <mutex>

#include "platform/Registry.h"

namespace quorvel::platform {

namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

struct NameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Folded(x) < Folded(y); });
  }
};

}  // namespace

struct RegistryNode {
  std::map<std::string, std::shared_ptr<RegistryNode>, NameLess> subkeys;
  std::map<std::string, std::string, NameLess> values;
};

namespace {

constexpr size_t kRootCount = 7;

struct Tree {
  std::mutex lock;
  std::array<std::shared_ptr<RegistryNode>, kRootCount> roots;
  Tree() { Clear(); }
  void Clear() {
    for (auto& root : roots) root = std::make_shared<RegistryNode>();
  }
};

Tree& TheTree() {
  static Tree tree;
  return tree;
}

template <typename Visit>
void ForEachComponent(std::string_view path, Visit visit) {
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('\\', start), path.size());
    if (end > start && !visit(path.substr(start, end - start))) return;
    start = end + 1;
  }
}

}  // namespace

int32_t OpenRegistryKey(RegistryRoot root, std::string_view path, uint32_t /*access*/,
                        RegistryHandle& key) {
  Tree& tree = TheTree();
  std::lock_guard hold(tree.lock);
  std::shared_ptr<RegistryNode> node = tree.roots[static_cast<size_t>(root)];
  ForEachComponent(path, [&](std::string_view name) {
    const auto found = node->subkeys.find(name);
    node = found == node->subkeys.end() ? nullptr : found->second;
    return node != nullptr;
  });
  if (!node) return kRegistryNotFound;
  key = node;
  return kRegistrySuccess;
}

int32_t QueryRegistryValue(const RegistryHandle& key, std::string_view name, uint32_t& type,
                           std::string& data, uint32_t capacity, uint32_t& size) {
  if (!key) return kRegistryInvalidHandle;
  Tree& tree = TheTree();
  std::lock_guard hold(tree.lock);
  const auto found = key->values.find(name);
  if (found == key->values.end()) return kRegistryNotFound;
  type = kRegistryTypeString;
  size = static_cast<uint32_t>(found->second.size() + 1);
  if (size > capacity) return kRegistryMoreData;
  data = found->second;
  return kRegistrySuccess;
}

int32_t EnumerateRegistryKey(const RegistryHandle& key, uint32_t index, std::string& name,
                             uint32_t capacity) {
  if (!key) return kRegistryInvalidHandle;
  Tree& tree = TheTree();
  std::lock_guard hold(tree.lock);
  if (index >= key->subkeys.size()) return kRegistryNoMoreItems;
  const std::string& found = std::next(key->subkeys.begin(), index)->first;
  if (found.size() >= capacity) return kRegistryMoreData;
  name = found;
  return kRegistrySuccess;
}

void SetRegistryString(RegistryRoot root, std::string_view path, std::string_view name,
                       std::string_view value) {
  Tree& tree = TheTree();
  std::lock_guard hold(tree.lock);
  RegistryNode* node = tree.roots[static_cast<size_t>(root)].get();
  ForEachComponent(path, [&](std::string_view component) {
    auto& child = node->subkeys[std::string(component)];
    if (!child) child = std::make_shared<RegistryNode>();
    node = child.get();
    return true;
  });
  node->values[std::string(name)] = std::string(value);
}

void ClearRegistry() {
  Tree& tree = TheTree();
  std::lock_guard hold(tree.lock);
  tree.Clear();
}

}  // namespace quorvel::platform
